#pragma once

#include <string>
#include <vector>

#include "sources/sheet/SheetCells.h"
#include "sources/sheet/SheetTable.h"

// An Excel (.xlsx) or OpenDocument (.ods) workbook read whole: each sheet as a table, in
// workbook order, hidden ones marked; all text in one pool. orcus's importers do the reading;
// what they cannot give (hidden sheets, some .ods cells) is read from the XML beside them.
class CWorkbook
{
public:
    enum class EFormat { Xlsx, Ods };

    struct SSheet
    {
        std::string strName;
        bool bHidden = false;
        CSheetTable table;
    };

    // Reads the file; throws CDaoException with a message naming the file when it cannot be
    // read, is damaged, or is larger than SheetLimits allow.
    static CWorkbook Read(const std::string &strPath, EFormat format);
    // The same for bytes in memory; strShownName names them in messages.
    static CWorkbook Parse(std::string bytes, EFormat format, const std::string &strShownName);

    const std::vector<SSheet> &Sheets() const { return m_sheets; }
    const CTextPool &Text() const { return m_text; }

private:
    std::vector<SSheet> m_sheets;
    CTextPool m_text;
};

// Feeds arbitrary bytes to the template language as a message body and expands it for a small
// fixed record of every field type, so that the compare-to texts of {IF} blocks reach every
// conversion. Nothing may crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Data.h"
#include "engine/Fault.h"
#include "engine/MergeTemplate.h"

namespace {

class CFixedRecord final : public CMergeRecord
{
public:
    std::string_view CellText(int nColumn) const override
    {
        static const std::vector<std::string> cells
            = {"Ann <<City>> {x}", "Boston", "TRUE", "42", "-7", "12.5", "3.25", "2.5e3",
                "12/8/2026 2:05:09 PM", "7", std::string(1100, 'z') + "\xC3\xA9", "1.000"};
        if (nColumn < 0 || static_cast<size_t>(nColumn) >= cells.size())
            return {};
        return cells[static_cast<size_t>(nColumn)];
    }
};

const CMergeFields &Fields()
{
    static const CMergeFields fields {{"Name", "City", "Member", "Count", "Small", "Fee", "Ratio",
                                          "Big", "Joined", "Byte", "Notes", "Exact"},
        {dbText, dbText, dbBoolean, dbLong, dbInteger, dbCurrency, dbSingle, dbDouble, dbDate,
            dbByte, dbMemo, dbDecimal}};
    return fields;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize)
{
    static const bool bSilenced = [] {
        SetFaultHook([](const std::string &) {});
        return true;
    }();
    (void)bSilenced;

    const std::string_view strTemplate(reinterpret_cast<const char *>(pData), nSize);
    const std::vector<IfStatement> statements = CollectIfStatements(strTemplate, Fields());
    const std::string strMessage
        = ExpandTemplate(strTemplate, statements, Fields(), CFixedRecord());
    if (strMessage.find('\t') != std::string::npos)
        __builtin_trap(); // tabs are always expanded
    return 0;
}

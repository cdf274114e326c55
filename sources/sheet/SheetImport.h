#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <orcus/spreadsheet/import_interface.hpp>

#include "sources/sheet/SheetCells.h"
#include "sources/sheet/SheetStyles.h"

class CSheetCollector;

// The cells of one sheet as they came from the file, in the order they came.
struct SImportedSheet
{
    std::string strName;
    std::vector<SSheetCell> cells;
};

// What orcus's xlsx and ods importers hand over, taken into our own compact store instead of
// orcus's document model: each cell that holds a value as 16 bytes, its text once in the pool.
// Formulas count by the result the file saved with them. Sizes past SheetLimits throw
// CDaoException naming the file.
class CSheetImport final : public orcus::spreadsheet::iface::import_factory,
                           private orcus::spreadsheet::iface::import_shared_strings,
                           private orcus::spreadsheet::iface::import_global_settings,
                           private orcus::spreadsheet::iface::import_reference_resolver
{
public:
    // bDatesFromFormats: whether dates are numbers in a date format (xlsx) rather than values
    // of their own (ods).
    CSheetImport(std::string strShownName, bool bDatesFromFormats);
    ~CSheetImport() override;

    orcus::spreadsheet::iface::import_global_settings *get_global_settings() override
    {
        return this;
    }
    orcus::spreadsheet::iface::import_shared_strings *get_shared_strings() override { return this; }
    orcus::spreadsheet::iface::import_styles *get_styles() override { return &m_styles; }
    orcus::spreadsheet::iface::import_reference_resolver *get_reference_resolver(
        orcus::spreadsheet::formula_ref_context_t) override
    {
        return this;
    }
    orcus::spreadsheet::iface::import_sheet *append_sheet(
        orcus::spreadsheet::sheet_t nIndex, std::string_view name) override;
    orcus::spreadsheet::iface::import_sheet *get_sheet(std::string_view name) override;
    orcus::spreadsheet::iface::import_sheet *get_sheet(orcus::spreadsheet::sheet_t nIndex) override;
    void finalize() override { }

    // The sheets in workbook order, and the text their cells point into.
    std::vector<SImportedSheet> TakeSheets();
    CTextPool &Text() { return m_text; }

    // For the sheets' collectors.
    const std::string &ShownName() const { return m_strShownName; }
    const CSheetStyles &Styles() const { return m_styles; }
    bool DatesFromFormats() const { return m_bDatesFromFormats; }
    // The day count since 30 December 1899 of a date serial of this workbook (1900 or 1904
    // date system).
    double DaysOfSerial(double dSerial) const;
    uint32_t AddText(std::string_view text, const std::string &strSheet, SSheetCell where);
    // Counts one more stored cell against the limit.
    void CountCell();

    // Cell addresses in A1 style ("B4", "$B$4", "A1:C3"), as xlsx names its cells; a place past
    // a sheet's size stays past it (it is refused where a cell is placed).
    orcus::spreadsheet::src_address_t resolve_address(std::string_view address) override;
    orcus::spreadsheet::src_range_t resolve_range(std::string_view range) override;

private:
    uint32_t AddText(std::string_view text);
    // The shared strings: Excel's table of them, and every text of an .ods.
    size_t append(std::string_view text) override;
    size_t add(std::string_view text) override { return append(text); }
    void set_segment_font(size_t) override { }
    void set_segment_bold(bool) override { }
    void set_segment_italic(bool) override { }
    void set_segment_font_name(std::string_view) override { }
    void set_segment_font_size(double) override { }
    void set_segment_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override
    { }
    void append_segment(std::string_view text) override;
    size_t commit_segments() override;

    void set_origin_date(int nYear, int nMonth, int nDay) override;
    void set_default_formula_grammar(orcus::spreadsheet::formula_grammar_t) override { }
    orcus::spreadsheet::formula_grammar_t get_default_formula_grammar() const override
    {
        return orcus::spreadsheet::formula_grammar_t::unknown;
    }
    void set_character_set(orcus::character_set_t) override { }

    std::string m_strShownName;
    bool m_bDatesFromFormats = false;
    CSheetStyles m_styles;
    CTextPool m_text;
    std::string m_strSegments; // the runs of a rich text so far
    std::vector<std::unique_ptr<CSheetCollector>> m_sheets;
    double m_dOriginDays = 0; // 1462 in the 1904 date system
    size_t m_nCells = 0;
};

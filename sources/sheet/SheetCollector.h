#pragma once

#include <string_view>
#include <vector>

#include <orcus/spreadsheet/import_interface.hpp>

#include "sources/sheet/SheetImport.h"

// One sheet's cells as orcus reads them, with the cached results of its formulas.
class CSheetCollector final : public orcus::spreadsheet::iface::import_sheet,
                              private orcus::spreadsheet::iface::import_formula,
                              private orcus::spreadsheet::iface::import_array_formula
{
public:
    CSheetCollector(CSheetImport &import, std::string_view name);

    const std::string &Name() const { return m_sheet.strName; }
    // The sheet's cells in row order, the numbers of date-formatted cells made dates.
    SImportedSheet Take();

    orcus::spreadsheet::iface::import_formula *get_formula() override { return this; }
    orcus::spreadsheet::iface::import_array_formula *get_array_formula() override { return this; }

    void set_auto(orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn,
        std::string_view text) override;
    void set_string(orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn,
        orcus::spreadsheet::string_id_t nIndex) override;
    void set_value(
        orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, double dValue) override;
    void set_bool(
        orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, bool bValue) override;
    void set_date_time(orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, int nYear,
        int nMonth, int nDay, int nHour, int nMinute, double dSecond) override;
    void set_format(
        orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, size_t nXf) override;
    void set_format(orcus::spreadsheet::row_t, orcus::spreadsheet::col_t, orcus::spreadsheet::row_t,
        orcus::spreadsheet::col_t, size_t) override
    { }
    void fill_down_cells(
        orcus::spreadsheet::row_t, orcus::spreadsheet::col_t, orcus::spreadsheet::row_t) override
    { }
    orcus::spreadsheet::range_size_t get_sheet_size() const override;

private:
    // import_formula: one formula cell, told its place and then its saved result.
    void set_position(orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn) override;
    void set_formula(orcus::spreadsheet::formula_grammar_t, std::string_view) override { }
    void set_shared_formula_index(size_t) override { }
    void set_result_string(std::string_view text) override;
    void set_result_value(double dValue) override;
    void set_result_bool(bool bValue) override;
    void set_result_empty() override { m_bHasResult = false; }
    void commit() override;

    // import_array_formula: the saved results of each cell of the range.
    void set_range(const orcus::spreadsheet::range_t &) override { }
    void set_result_string(orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn,
        std::string_view text) override;
    void set_result_value(
        orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, double dValue) override;
    void set_result_bool(
        orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, bool bValue) override;
    void set_result_empty(orcus::spreadsheet::row_t, orcus::spreadsheet::col_t) override { }

    // The cell at that place, checked against the sheet's size; a new one, or the one stored
    // last when orcus tells of the same cell twice (a formula and its result).
    SSheetCell &Place(orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn);
    void PlaceText(
        orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, std::string_view text);
    void PlaceNumber(
        orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, double dValue);
    void PlaceBool(orcus::spreadsheet::row_t nRow, orcus::spreadsheet::col_t nColumn, bool bValue);

    // A cell format given to a place, for a workbook whose dates are numbers in a date format;
    // which formats are dates is known only once the styles are read, after the sheets.
    struct SFormatted
    {
        uint32_t nRow = 0;
        uint32_t nColumn = 0;
        size_t nXf = 0;
    };

    CSheetImport &m_import;
    SImportedSheet m_sheet;
    std::vector<SFormatted> m_formatted;
    // The formula being read.
    orcus::spreadsheet::row_t m_nFormulaRow = 0;
    orcus::spreadsheet::col_t m_nFormulaColumn = 0;
    bool m_bHasResult = false;
    ECellKind m_resultKind = ECellKind::Number;
    double m_dResult = 0;
    std::string m_strResult;
};

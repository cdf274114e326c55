#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include <orcus/spreadsheet/import_interface.hpp>

// The one thing of a workbook's styles that changes what a cell holds: whether its number format
// shows a date or a time. Excel keeps dates as plain numbers and only the format tells them
// apart, so the number formats and the cell formats that point at them are kept; fonts, fills
// and borders are let go as they come.
class CSheetStyles final : public orcus::spreadsheet::iface::import_styles
{
public:
    // Whether the cell format of that index shows its number as a date or a time.
    bool IsDateFormat(size_t nXf) const;

    void set_font_count(size_t) override { }
    void set_font_bold(bool) override { }
    void set_font_italic(bool) override { }
    void set_font_name(std::string_view) override { }
    void set_font_size(double) override { }
    void set_font_underline(orcus::spreadsheet::underline_t) override { }
    void set_font_underline_width(orcus::spreadsheet::underline_width_t) override { }
    void set_font_underline_mode(orcus::spreadsheet::underline_mode_t) override { }
    void set_font_underline_type(orcus::spreadsheet::underline_type_t) override { }
    void set_font_underline_color(orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t) override
    { }
    void set_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override
    { }
    void set_strikethrough_style(orcus::spreadsheet::strikethrough_style_t) override { }
    void set_strikethrough_type(orcus::spreadsheet::strikethrough_type_t) override { }
    void set_strikethrough_width(orcus::spreadsheet::strikethrough_width_t) override { }
    void set_strikethrough_text(orcus::spreadsheet::strikethrough_text_t) override { }
    size_t commit_font() override { return m_nFonts++; }

    void set_fill_count(size_t) override { }
    void set_fill_pattern_type(orcus::spreadsheet::fill_pattern_t) override { }
    void set_fill_fg_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override
    { }
    void set_fill_bg_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override
    { }
    size_t commit_fill() override { return m_nFills++; }

    void set_border_count(size_t) override { }
    void set_border_style(
        orcus::spreadsheet::border_direction_t, orcus::spreadsheet::border_style_t) override
    { }
    void set_border_color(orcus::spreadsheet::border_direction_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t) override
    { }
    void set_border_width(
        orcus::spreadsheet::border_direction_t, double, orcus::length_unit_t) override
    { }
    size_t commit_border() override { return m_nBorders++; }

    void set_cell_hidden(bool) override { }
    void set_cell_locked(bool) override { }
    void set_cell_print_content(bool) override { }
    void set_cell_formula_hidden(bool) override { }
    size_t commit_cell_protection() override { return m_nProtections++; }

    void set_number_format_count(size_t) override { }
    void set_number_format_identifier(size_t nId) override { m_nFormatId = nId; }
    void set_number_format_code(std::string_view code) override;
    size_t commit_number_format() override;

    void set_cell_xf_count(size_t) override { }
    void set_cell_style_xf_count(size_t) override { }
    void set_dxf_count(size_t) override { }
    void set_xf_font(size_t) override { }
    void set_xf_fill(size_t) override { }
    void set_xf_border(size_t) override { }
    void set_xf_protection(size_t) override { }
    void set_xf_number_format(size_t nIndex) override { m_nXfFormat = nIndex; }
    void set_xf_style_xf(size_t) override { }
    void set_xf_apply_alignment(bool) override { }
    void set_xf_horizontal_alignment(orcus::spreadsheet::hor_alignment_t) override { }
    void set_xf_vertical_alignment(orcus::spreadsheet::ver_alignment_t) override { }
    size_t commit_cell_xf() override;
    size_t commit_cell_style_xf() override { return Discard(m_nStyleXfs); }
    size_t commit_dxf() override { return Discard(m_nDxfs); }

    void set_cell_style_count(size_t) override { }
    void set_cell_style_name(std::string_view) override { }
    void set_cell_style_xf(size_t) override { }
    void set_cell_style_builtin(size_t) override { }
    void set_cell_style_parent_name(std::string_view) override { }
    size_t commit_cell_style() override { return m_nCellStyles++; }

private:
    size_t Discard(size_t &nCount)
    {
        m_nXfFormat = 0;
        return nCount++;
    }

    // The number formats a workbook defines itself (Excel numbers them from 164): which show
    // dates. Built-in formats are known by their number.
    std::vector<size_t> m_dateFormatIds;
    size_t m_nFormatId = 0;
    bool m_bFormatIsDate = false;
    // Per cell format, in file order: whether its number format shows a date.
    std::vector<bool> m_xfIsDate;
    size_t m_nXfFormat = 0;

    size_t m_nFonts = 0;
    size_t m_nFills = 0;
    size_t m_nBorders = 0;
    size_t m_nProtections = 0;
    size_t m_nFormats = 0;
    size_t m_nStyleXfs = 0;
    size_t m_nDxfs = 0;
    size_t m_nCellStyles = 0;
};

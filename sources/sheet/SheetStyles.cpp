#include "sources/sheet/SheetStyles.h"

#include <algorithm>
#include <cctype>

#include "sources/sheet/SheetCells.h"

bool IsBuiltInDateFormat(size_t nId)
{
    return (nId >= 14 && nId <= 22) || (nId >= 45 && nId <= 47);
}

bool IsDateFormatCode(std::string_view code)
{
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') {
            const size_t nEnd = code.find('"', i + 1);
            if (nEnd == std::string_view::npos)
                return false;
            i = nEnd;
        } else if (c == '[') {
            const size_t nEnd = code.find(']', i + 1);
            if (nEnd == std::string_view::npos)
                return false;
            // [h], [mm] and [ss] are elapsed times; [Red] and [$-409] say nothing of dates.
            const std::string_view inside = code.substr(i + 1, nEnd - i - 1);
            if (!inside.empty() && std::all_of(inside.begin(), inside.end(), [](char k) {
                    return k == 'h' || k == 'H' || k == 'm' || k == 'M' || k == 's' || k == 'S';
                }))
                return true;
            i = nEnd;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i; // the next character is shown as it is, or is padding
        } else {
            const char k = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (k == 'd' || k == 'm' || k == 'y' || k == 'h' || k == 's')
                return true;
        }
    }
    return false;
}

bool CSheetStyles::IsDateFormat(size_t nXf) const
{
    return nXf < m_xfIsDate.size() && m_xfIsDate[nXf];
}

void CSheetStyles::set_number_format_code(std::string_view code)
{
    m_bFormatIsDate = IsDateFormatCode(code);
}

size_t CSheetStyles::commit_number_format()
{
    if (m_bFormatIsDate)
        m_dateFormatIds.push_back(m_nFormatId);
    m_nFormatId = 0;
    m_bFormatIsDate = false;
    return m_nFormats++;
}

size_t CSheetStyles::commit_cell_xf()
{
    const bool bDate = IsBuiltInDateFormat(m_nXfFormat)
        || std::find(m_dateFormatIds.begin(), m_dateFormatIds.end(), m_nXfFormat)
            != m_dateFormatIds.end();
    m_xfIsDate.push_back(bDate);
    m_nXfFormat = 0;
    return m_xfIsDate.size() - 1;
}

#include "engine/MergeTemplate.h"

#include "engine/Comparison.h"
#include "engine/Data.h"
#include "engine/Fault.h"

namespace {

constexpr size_t npos = std::string_view::npos;

std::string_view CellOf(const CMergeRecord &record, int nColumn)
{
    return nColumn < 0 ? std::string_view() : MergeCellText(record.CellText(nColumn));
}

bool IsFromTemplate(const IfStatement &statement, size_t nDone, size_t nLength)
{
    return statement.m_nStart >= 0 && static_cast<size_t>(statement.m_nStart) >= nDone
        && statement.m_nEnd > statement.m_nStart
        && static_cast<size_t>(statement.m_nEnd) <= nLength;
}

} // namespace

int CMergeFields::FindColumn(std::string_view name) const
{
    for (size_t i = 0; i < m_names.size(); ++i) {
        if (m_names[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

short CMergeFields::TypeOf(int nColumn) const
{
    if (nColumn < 0 || static_cast<size_t>(nColumn) >= m_types.size())
        return dbText;
    return m_types[static_cast<size_t>(nColumn)];
}

std::pair<std::string, size_t> ExtractQuoted(std::string_view text, size_t nPos)
{
    const size_t n = text.size();
    size_t nOpen = text.find('"', nPos);
    size_t nClose = 0;
    if (nOpen == npos) {
        nOpen = 0;
    } else {
        // An opening quote that is the last character is found again as the closing one.
        nClose = text.find('"', nOpen + 1 < n ? nOpen + 1 : nOpen);
        if (nClose == npos)
            nClose = 0;
    }
    std::string strQuoted;
    if (nClose > nOpen + 1)
        strQuoted = text.substr(nOpen + 1, nClose - nOpen - 1);
    return {std::move(strQuoted), nClose + 1 < n ? nClose + 1 : nClose};
}

IfStatement ParseIf(std::string_view block)
{
    IfStatement statement;
    std::string strField;
    size_t nPos = 0;
    for (std::string *pText : {&strField, &statement.m_strComparison, &statement.m_strCompareTo,
             &statement.m_strThen, &statement.m_strElse}) {
        auto [strQuoted, nNext] = ExtractQuoted(block, nPos);
        *pText = std::move(strQuoted);
        nPos = nNext;
    }
    const std::string strCase = ExtractQuoted(block, nPos).first;

    // "<<Name>>": the first two and last two characters go without being looked at.
    if (strField.size() >= 5)
        statement.m_strFieldName = strField.substr(2, strField.size() - 4);

    if (strCase == "CASEYES") {
        statement.m_bCaseSensitive = 1;
    } else if (strCase != "CASENO") {
        ReportFault("Unknown 'Case Sensitive' argument in if -- defaulting to case\ninsensitive.");
    }
    return statement;
}

std::vector<IfStatement> CollectIfStatements(
    std::string_view strTemplate, const CMergeFields &fields)
{
    std::vector<IfStatement> statements;
    size_t i = 0;
    while (i < strTemplate.size()) {
        i = strTemplate.find('{', i);
        if (i == npos)
            break;
        const size_t j = strTemplate.find('}', i);
        if (j == npos)
            break;
        IfStatement statement = ParseIf(strTemplate.substr(i, j - i));
        statement.m_nStart = static_cast<int32_t>(i);
        statement.m_nEnd = static_cast<int32_t>(j + 1);
        statement.m_nColumn = fields.FindColumn(statement.m_strFieldName);
        statements.push_back(std::move(statement));
        i = j;
    }
    return statements;
}

std::vector<FieldTag> CollectFieldTags(std::string_view text, const CMergeFields &fields)
{
    std::vector<FieldTag> tags;
    size_t i = 0;
    while (i < text.size()) {
        i = text.find('<', i);
        if (i == npos)
            break;
        if (i + 1 < text.size() && text[i + 1] == '<') {
            size_t j = text.find('>', i);
            if (j == npos)
                j = text.size();
            if (j + 1 < text.size() && text[j + 1] == '>') {
                tags.push_back({fields.FindColumn(text.substr(i + 2, j - i - 2)),
                    static_cast<int32_t>(i), static_cast<int32_t>(j + 2)});
            }
            i = j;
        } else {
            ++i;
        }
    }
    return tags;
}

std::string ExpandTemplate(std::string_view strTemplate, const std::vector<IfStatement> &statements,
    const CMergeFields &fields, const CMergeRecord &record)
{
    // Blocks come in ascending order and do not overlap, so each one's replacement is
    // appended in turn instead of shifting the text around it.
    std::string strBlocksDone;
    strBlocksDone.reserve(strTemplate.size());
    size_t nDone = 0;
    for (const IfStatement &statement : statements) {
        if (!IsFromTemplate(statement, nDone, strTemplate.size()))
            continue;
        const int nColumn = statement.m_nColumn;
        const bool bHolds = EvaluateComparison(
            CData(std::string(CellOf(record, nColumn)), fields.TypeOf(nColumn)),
            statement.m_strComparison, statement.m_strCompareTo, statement.m_bCaseSensitive != 0);
        strBlocksDone.append(strTemplate, nDone, static_cast<size_t>(statement.m_nStart) - nDone);
        strBlocksDone.append(bHolds ? statement.m_strThen : statement.m_strElse);
        nDone = static_cast<size_t>(statement.m_nEnd);
    }
    strBlocksDone.append(strTemplate, nDone);

    // All tags are found before any is replaced, so a field's text is never scanned for tags.
    std::string strTagsDone;
    strTagsDone.reserve(strBlocksDone.size() + 256);
    size_t nCopied = 0;
    for (const FieldTag &tag : CollectFieldTags(strBlocksDone, fields)) {
        strTagsDone.append(strBlocksDone, nCopied, static_cast<size_t>(tag.m_nStart) - nCopied);
        strTagsDone.append(CellOf(record, tag.m_nColumn));
        nCopied = static_cast<size_t>(tag.m_nEnd);
    }
    strTagsDone.append(strBlocksDone, nCopied);
    if (strTagsDone.find('\t') == npos)
        return strTagsDone;
    return ExpandTabs(strTagsDone);
}

std::string ExpandTabs(std::string_view text)
{
    std::string strResult;
    strResult.reserve(text.size());
    size_t nPos = 0;
    for (size_t nTab = text.find('\t'); nTab != npos; nTab = text.find('\t', nPos)) {
        strResult.append(text, nPos, nTab - nPos);
        strResult.append(8, ' ');
        nPos = nTab + 1;
    }
    strResult.append(text, nPos);
    return strResult;
}

std::string_view MergeCellText(std::string_view text)
{
    if (text.size() <= kMaxMergeCellText)
        return text;
    size_t nCut = kMaxMergeCellText;
    // Step back over a character whose continuation bytes would be cut off.
    while (nCut > 0 && (static_cast<unsigned char>(text[nCut]) & 0xC0) == 0x80)
        --nCut;
    return text.substr(0, nCut);
}

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The template language of a message body: field tags <<Name>> are replaced by the record's
// text for that field, and {IF "<<Field>>" "Comparison" "text" THEN "then" ELSE "else"
// "CASEYES"} blocks by one of their two texts. Only the quoted texts of a block count, in
// order; there is no escape character, and malformed input is plain text, never an error.
// Every scan works on bytes, so UTF-8 text passes through untouched.

// The fields of the table being merged: names and DAO type codes, in the table's order.
struct CMergeFields
{
    std::vector<std::string> m_names;
    std::vector<short> m_types;

    // The first field whose name equals the name byte for byte, or -1.
    int FindColumn(std::string_view name) const;
    // The DAO type code of a column; a column that is no field is taken as Text.
    short TypeOf(int nColumn) const;
};

// One record as the expansion reads it: the text shown for each of its cells.
class CMergeRecord
{
public:
    virtual ~CMergeRecord() = default;
    // The cell's text; columns beyond the record's cells are empty.
    virtual std::string_view CellText(int nColumn) const = 0;
};

struct IfStatement
{
    int32_t m_nStart = 0; // index of the "{" in the template
    int32_t m_nEnd = 0; // index just past the "}"
    int32_t m_nColumn = -1; // -1 when no field has the name
    std::string m_strFieldName;
    std::string m_strComparison;
    std::string m_strCompareTo;
    std::string m_strThen;
    std::string m_strElse;
    int32_t m_bCaseSensitive = 0;
};

struct FieldTag
{
    int32_t m_nColumn = -1;
    int32_t m_nStart = 0; // index of the first "<"
    int32_t m_nEnd = 0; // index just past the second ">"
};

// At most this many bytes of a cell take part in an expansion.
constexpr size_t kMaxMergeCellText = 1022;

// The text between the next pair of double quotes from nPos on, and the position to continue
// from. A missing quote gives the empty text and sends the next search back to index 1.
std::pair<std::string, size_t> ExtractQuoted(std::string_view text, size_t nPos);
// Parses a block from its "{" up to, not including, its "}"; start, end and column are left
// for the caller. An unknown case argument is reported and taken as case-insensitive.
IfStatement ParseIf(std::string_view block);
// Every block of the template, in order. Called once per merge run.
std::vector<IfStatement> CollectIfStatements(
    std::string_view strTemplate, const CMergeFields &fields);
// The field tags of a text, in order: "<<", a name without ">", then ">>".
std::vector<FieldTag> CollectFieldTags(std::string_view text, const CMergeFields &fields);
// The message text of one record: blocks resolved, then field tags replaced (including those
// that came in with a then or else text, never those inside a field's text), then tabs.
std::string ExpandTemplate(std::string_view strTemplate, const std::vector<IfStatement> &statements,
    const CMergeFields &fields, const CMergeRecord &record);
// Each tab becomes eight spaces.
std::string ExpandTabs(std::string_view text);
// A cell's text cut to kMaxMergeCellText bytes, never inside a UTF-8 character.
std::string_view MergeCellText(std::string_view text);

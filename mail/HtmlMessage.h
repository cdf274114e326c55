#pragma once

#include <string>
#include <vector>

#include "engine/MergeTemplate.h"
#include "mail/MessageData.h"

// The formatted body of a merge, as the editor saves it (HTML with field tags and {IF} blocks
// in its text), made ready once for a run and merged for every record into the text/html part
// of a message:
// - merged values are HTML-escaped, so a value "<b>" shows as text; a field tag inside an
//   attribute (a link's URL) is replaced too, its value percent-encoded unless it starts the
//   attribute (a whole URL in a field);
// - only inline styles: the editor's style sheet and head are left out, its paragraphs keep
//   their blanks with an inline "white-space";
// - no remote resources: pictures of local files become cid: references to parts sent along
//   (SInlineImage), any other picture is left out.
// The markup is kept out of the template language's way: each tag stands in the text the
// expansion sees as a placeholder that no field value can forge.
class CHtmlMessage final
{
public:
    // strFolder ends in "/" (or is empty): relative picture paths are taken from it.
    CHtmlMessage(
        const std::string &strHtml, const CMergeFields &fields, const std::string &strFolder);

    std::string Expand(const CMergeRecord &record) const;
    const std::vector<SInlineImage> &Images() const { return m_images; }

private:
    // A tag of the markup; attribute values that hold field tags are merged.
    struct SMarkup
    {
        std::string strText; // the whole tag, or what comes before the first merged value
        // Each merged value (decoded), its field tags found once, and the literal text after it.
        struct SMergedValue
        {
            std::string strValue;
            std::vector<FieldTag> tags;
            std::string strAfter;
        };
        std::vector<SMergedValue> merged;
    };

    void AddMarkup(std::string_view tag);
    void AppendMarkup(std::string &out, const SMarkup &markup, const CMergeRecord &record) const;

    const CMergeFields &m_fields;
    std::string m_strFolder;
    std::string m_strBodyStyle;
    std::string m_strTemplate; // the text, decoded, with a placeholder for each tag
    std::vector<IfStatement> m_statements;
    std::vector<SMarkup> m_markup;
    std::vector<SInlineImage> m_images;
};

// Text with "&", "<", ">" and '"' as HTML writes them.
std::string HtmlEscaped(std::string_view text);
// HTML text with its character references resolved.
std::string HtmlDecoded(std::string_view text);

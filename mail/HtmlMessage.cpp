#include "mail/HtmlMessage.h"

#include <algorithm>
#include <charconv>
#include <deque>

#include "engine/AsciiCase.h"
#include "engine/MarkupText.h"
#include "mail/MessageText.h"
#include "mail/PersonalParts.h"

namespace {

constexpr char kMarkupStart = '\x01';
// A field tag's name cannot hold '>', so no tag can reach across the markup.
constexpr char kMarkupEnd = '>';

// A record whose texts cannot hold the placeholders the markup stands as.
class CPlaceholderFreeRecord final : public CMergeRecord
{
public:
    explicit CPlaceholderFreeRecord(const CMergeRecord &record) : m_record(record) { }

    std::string_view CellText(int nColumn) const override
    {
        const std::string_view text = m_record.CellText(nColumn);
        if (text.find(kMarkupStart) == std::string_view::npos)
            return text;
        std::string &strClean = m_kept.emplace_back(text);
        std::erase(strClean, kMarkupStart);
        return strClean;
    }

private:
    const CMergeRecord &m_record;
    mutable std::deque<std::string> m_kept;
};

struct SAttribute
{
    std::string strName; // lower case
    std::string strValue; // decoded
    bool bHasValue = false;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// A tag's name (lower case) and attributes; the tag is "<...>" whole.
std::string ParseTag(std::string_view tag, std::vector<SAttribute> &attributes, bool &bSelfClosing)
{
    tag.remove_prefix(1);
    tag.remove_suffix(1);
    bSelfClosing = !tag.empty() && tag.back() == '/';
    if (bSelfClosing)
        tag.remove_suffix(1);
    size_t i = 0;
    while (i < tag.size() && !IsBlank(tag[i]))
        ++i;
    std::string strName = AsciiLower(tag.substr(0, i));
    attributes.clear();
    while (i < tag.size()) {
        while (i < tag.size() && IsBlank(tag[i]))
            ++i;
        const size_t nNameStart = i;
        while (i < tag.size() && !IsBlank(tag[i]) && tag[i] != '=')
            ++i;
        if (i == nNameStart) {
            ++i;
            continue;
        }
        SAttribute &attribute = attributes.emplace_back();
        attribute.strName = AsciiLower(tag.substr(nNameStart, i - nNameStart));
        // A name of anything but letters, digits and "-_:" is markup gone wrong.
        if (!std::all_of(attribute.strName.begin(), attribute.strName.end(), [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
                    || c == ':';
            }))
            attribute.strName.clear();
        while (i < tag.size() && IsBlank(tag[i]))
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && IsBlank(tag[i]))
            ++i;
        attribute.bHasValue = true;
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            const char cQuote = tag[i];
            const size_t nEnd = tag.find(cQuote, i + 1);
            const size_t nStop = nEnd == std::string_view::npos ? tag.size() : nEnd;
            attribute.strValue = HtmlDecoded(tag.substr(i + 1, nStop - i - 1));
            i = nStop + 1;
        } else {
            const size_t nStart = i;
            while (i < tag.size() && !IsBlank(tag[i]))
                ++i;
            attribute.strValue = HtmlDecoded(tag.substr(nStart, i - nStart));
        }
    }
    return strName;
}

// Where the tag that opens at nOpen ends: just past its '>', or the end of the text.
size_t TagEnd(std::string_view html, size_t nOpen)
{
    const size_t nClose = MarkupTagEnd(html, nOpen);
    return nClose == std::string_view::npos ? html.size() : nClose + 1;
}

// A picture's file from its src: a local path or a file: URL; empty for anything remote.
std::string LocalPicturePath(const std::string &strSource, const std::string &strFolder)
{
    std::string strPath;
    if (AsciiLower(strSource.substr(0, 7)) == "file://") {
        const std::string_view rest = std::string_view(strSource).substr(7);
        for (size_t i = 0; i < rest.size(); ++i) {
            unsigned nByte = 0;
            if (rest[i] == '%' && i + 2 < rest.size()
                && std::from_chars(rest.data() + i + 1, rest.data() + i + 3, nByte, 16).ptr
                    == rest.data() + i + 3) {
                strPath += static_cast<char>(nByte);
                i += 2;
            } else {
                strPath += rest[i];
            }
        }
    } else if (strSource.find("://") == std::string::npos
        && AsciiLower(strSource.substr(0, 5)) != "data:"
        && AsciiLower(strSource.substr(0, 4)) != "cid:") {
        strPath = strSource;
    }
    if (strPath.empty() || strPath.front() == '/')
        return strPath;
    return AbsolutePath(strPath, strFolder);
}

} // namespace

std::string HtmlEscaped(std::string_view text)
{
    std::string strOut;
    strOut.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            strOut += "&amp;";
            break;
        case '<':
            strOut += "&lt;";
            break;
        case '>':
            strOut += "&gt;";
            break;
        case '"':
            strOut += "&quot;";
            break;
        default:
            strOut += c;
        }
    }
    return strOut;
}

std::string HtmlDecoded(std::string_view text)
{
    std::string strOut;
    strOut.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&')
            i = AppendCharacterReference(strOut, text, i, true);
        else
            strOut += text[i];
    }
    return strOut;
}

CHtmlMessage::CHtmlMessage(
    const std::string &strHtml, const CMergeFields &fields, const std::string &strFolder)
    : m_fields(fields), m_strFolder(strFolder)
{
    std::string_view html = strHtml;
    // The body's content and its style; a fragment without a body is all content.
    const std::string strLower = AsciiLower(html);
    if (const size_t nBody = strLower.find("<body"); nBody != std::string::npos) {
        const size_t nContent = TagEnd(html, nBody);
        std::vector<SAttribute> attributes;
        bool bSelfClosing = false;
        ParseTag(html.substr(nBody, nContent - nBody), attributes, bSelfClosing);
        for (const SAttribute &attribute : attributes) {
            if (attribute.strName == "style")
                m_strBodyStyle = attribute.strValue;
        }
        const size_t nEnd = strLower.find("</body", nContent);
        html = html.substr(nContent, (nEnd == std::string::npos ? html.size() : nEnd) - nContent);
    }
    std::string_view skipUntil; // the end tag of a style sheet or script, left out whole
    for (size_t i = 0; i < html.size();) {
        if (html[i] != '<') {
            const size_t nNext = std::min(html.find('<', i), html.size());
            if (skipUntil.empty()) {
                std::string strText = HtmlDecoded(html.substr(i, nNext - i));
                std::erase(strText, kMarkupStart);
                m_strTemplate += strText;
            }
            i = nNext;
            continue;
        }
        if (html.substr(i, 4) == "<!--") {
            const size_t nEnd = html.find("-->", i + 4);
            i = nEnd == std::string_view::npos ? html.size() : nEnd + 3;
            continue;
        }
        const size_t nEnd = TagEnd(html, i);
        const std::string_view tag = html.substr(i, nEnd - i);
        i = nEnd;
        if (!tag.ends_with('>'))
            break; // cut off: no tag at all
        if (!skipUntil.empty()) {
            if (AsciiLower(tag).starts_with(skipUntil))
                skipUntil = {};
            continue;
        }
        if (tag.size() < 3 || tag[1] == '!' || tag[1] == '?')
            continue;
        const std::string strStart = AsciiLower(tag.substr(0, 8));
        if (strStart.starts_with("<style") || strStart.starts_with("<script")) {
            skipUntil = strStart.starts_with("<style") ? "</style" : "</script";
            continue;
        }
        AddMarkup(tag);
    }
    m_statements = CollectIfStatements(m_strTemplate, m_fields);
}

void CHtmlMessage::AddMarkup(std::string_view tag)
{
    if (tag[1] == '/') {
        m_strTemplate += kMarkupStart + std::to_string(m_markup.size()) + kMarkupEnd;
        m_markup.push_back({"</" + AsciiLower(tag.substr(2, tag.size() - 3)) + ">", {}});
        return;
    }
    std::vector<SAttribute> attributes;
    bool bSelfClosing = false;
    const std::string strName = ParseTag(tag, attributes, bSelfClosing);
    if (strName == "img") {
        auto source = std::find_if(attributes.begin(), attributes.end(),
            [](const SAttribute &attribute) { return attribute.strName == "src"; });
        const std::string strPath = source == attributes.end()
            ? std::string()
            : LocalPicturePath(source->strValue, m_strFolder);
        if (strPath.empty())
            return; // nothing remote is fetched when the message is read
        auto image = std::find_if(m_images.begin(), m_images.end(),
            [&](const SInlineImage &known) { return known.strPath == strPath; });
        if (image == m_images.end()) {
            m_images.push_back(
                {strPath, "image" + std::to_string(m_images.size() + 1) + "@mergix"});
            image = m_images.end() - 1;
        }
        source->strValue = "cid:" + image->strContentId;
    }
    if (strName == "p" || strName == "li") {
        // Blanks and line breaks typed in a paragraph show as typed.
        const auto isStyle = [](const SAttribute &attribute) {
            return attribute.strName == "style";
        };
        if (std::none_of(attributes.begin(), attributes.end(), isStyle))
            attributes.push_back({"style", "", true});
        std::find_if(attributes.begin(), attributes.end(), isStyle)
            ->strValue.insert(0, "white-space:pre-wrap;");
    }
    SMarkup markup;
    markup.strText = "<" + strName;
    std::string *pLiteral = &markup.strText;
    for (const SAttribute &attribute : attributes) {
        // Event handlers have no place in mail.
        if (attribute.strName.empty() || attribute.strName.starts_with("on"))
            continue;
        *pLiteral += " " + attribute.strName;
        if (!attribute.bHasValue)
            continue;
        *pLiteral += "=\"";
        if (attribute.strValue.find("<<") != std::string::npos) {
            markup.merged.push_back(
                {attribute.strValue, CollectFieldTags(attribute.strValue, m_fields), "\""});
            pLiteral = &markup.merged.back().strAfter;
        } else {
            *pLiteral += HtmlEscaped(attribute.strValue) + "\"";
        }
    }
    *pLiteral += bSelfClosing ? " />" : ">";
    m_strTemplate += kMarkupStart + std::to_string(m_markup.size()) + kMarkupEnd;
    m_markup.push_back(std::move(markup));
}

void CHtmlMessage::AppendMarkup(
    std::string &out, const SMarkup &markup, const CMergeRecord &record) const
{
    out += markup.strText;
    for (const auto &[strValue, tags, strAfter] : markup.merged) {
        std::string strMerged;
        size_t nDone = 0;
        for (const FieldTag &tag : tags) {
            strMerged.append(strValue, nDone, size_t(tag.m_nStart) - nDone);
            const std::string_view text = tag.m_nColumn < 0
                ? std::string_view(strValue).substr(
                    size_t(tag.m_nStart), size_t(tag.m_nEnd - tag.m_nStart))
                : MergeCellText(record.CellText(tag.m_nColumn));
            // A value inside a URL is one part of it; a value that is the whole of it is a URL.
            strMerged
                += tag.m_nStart == 0 || tag.m_nColumn < 0 ? std::string(text) : PercentEncode(text);
            nDone = size_t(tag.m_nEnd);
        }
        strMerged.append(strValue, nDone);
        out += HtmlEscaped(strMerged) + strAfter;
    }
}

std::string CHtmlMessage::Expand(const CMergeRecord &record) const
{
    const CPlaceholderFreeRecord safeRecord(record);
    const std::string strMerged = ExpandTemplate(m_strTemplate, m_statements, m_fields, safeRecord);
    std::string out = "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"></head><body";
    if (!m_strBodyStyle.empty())
        out += " style=\"" + HtmlEscaped(m_strBodyStyle) + "\"";
    out += ">";
    out.reserve(strMerged.size() * 2);
    for (size_t i = 0; i < strMerged.size(); ++i) {
        const char c = strMerged[i];
        if (c != kMarkupStart) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
            }
            continue;
        }
        size_t nIndex = 0;
        const auto result = std::from_chars(
            strMerged.data() + i + 1, strMerged.data() + strMerged.size(), nIndex);
        i = static_cast<size_t>(result.ptr - strMerged.data());
        if (nIndex < m_markup.size())
            AppendMarkup(out, m_markup[nIndex], safeRecord);
    }
    out += "</body></html>\r\n";
    return out;
}

#include "mail/Unsubscribe.h"

#include <algorithm>
#include <cctype>

#include "engine/PrintableText.h"
#include "mail/MessageText.h"

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view start)
{
    return text.size() >= start.size()
        && std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a))
                   == std::tolower(static_cast<unsigned char>(b));
           });
}

// Blanks, angle brackets, commas and control characters would end the header's <...> early.
bool HasUnsafeUriText(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b <= ' ' || b == 0x7F || c == '<' || c == '>' || c == ',' || c == '"';
    });
}

std::string MailtoUri(const std::string &strMailto)
{
    return StartsWithNoCase(strMailto, "mailto:") ? strMailto : "mailto:" + strMailto;
}

// The link without its field tags, for checking what is left of it.
std::string WithoutTags(const std::string &strUrl, const std::vector<FieldTag> &tags)
{
    std::string strBare = strUrl;
    for (auto it = tags.rbegin(); it != tags.rend(); ++it)
        strBare.replace(it->m_nStart, it->m_nEnd - it->m_nStart, "x");
    return strBare;
}

} // namespace

std::string CheckUnsubscribe(const SUnsubscribeSettings &settings, const CMergeFields *pFields)
{
    if (!settings.strMailto.empty()) {
        const std::string strUri = MailtoUri(settings.strMailto);
        const std::string strAddress = strUri.substr(7, strUri.find('?') - 7);
        if (HasUnsafeUriText(strUri) || strAddress.find('@') == std::string::npos
            || strAddress.front() == '@' || strAddress.back() == '@')
            return "The unsubscribe address \"" + PrintableText(settings.strMailto)
                + "\" is not an e-mail address.";
    }
    if (!settings.strUrl.empty()) {
        const std::string strShown = "\"" + PrintableText(settings.strUrl) + "\"";
        if (!StartsWithNoCase(settings.strUrl, "https://") || settings.strUrl.size() <= 8)
            return "The unsubscribe link " + strShown
                + " must start with https:// (mail programs use no other kind for one-click "
                  "unsubscribing).";
        const CMergeFields noFields;
        const std::vector<FieldTag> tags
            = CollectFieldTags(settings.strUrl, pFields ? *pFields : noFields);
        if (HasUnsafeUriText(WithoutTags(settings.strUrl, tags)))
            return "The unsubscribe link " + strShown
                + " holds a blank or a character a link cannot hold (< > , \").";
        if (pFields) {
            for (const FieldTag &tag : tags) {
                if (tag.m_nColumn < 0)
                    return "The unsubscribe link names the field \""
                        + PrintableText(
                            settings.strUrl.substr(tag.m_nStart + 2, tag.m_nEnd - tag.m_nStart - 4))
                        + "\", which the table does not have.";
            }
        }
    }
    return {};
}

std::string ListUnsubscribeValue(
    const SUnsubscribeSettings &settings, const CMergeFields &fields, const CMergeRecord &record)
{
    std::string strValue;
    if (!settings.strMailto.empty())
        strValue = "<" + MailtoUri(settings.strMailto) + ">";
    if (!settings.strUrl.empty()) {
        std::string strUrl = settings.strUrl;
        const std::vector<FieldTag> tags = CollectFieldTags(strUrl, fields);
        for (auto it = tags.rbegin(); it != tags.rend(); ++it) {
            strUrl.replace(it->m_nStart, it->m_nEnd - it->m_nStart,
                it->m_nColumn < 0 ? std::string()
                                  : PercentEncode(MergeCellText(record.CellText(it->m_nColumn))));
        }
        strValue += (strValue.empty() ? "<" : ", <") + strUrl + ">";
    }
    return strValue;
}

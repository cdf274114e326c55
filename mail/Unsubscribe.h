#pragma once

#include <string>

#include "engine/MergeTemplate.h"

// How a recipient leaves the list: an address that takes unsubscribe mail and a web link that
// unsubscribes with one click (https only; field tags in it are replaced by the record's values,
// percent-encoded). Either gives every message a List-Unsubscribe header; the link also gives
// List-Unsubscribe-Post, which mail programs show as an unsubscribe button.
struct SUnsubscribeSettings
{
    std::string strMailto; // "leave@example.org" or "mailto:leave@example.org?subject=..."
    std::string strUrl; // "https://example.org/leave?id=<<ID>>"

    bool IsEmpty() const { return strMailto.empty() && strUrl.empty(); }
};

// What is wrong with the settings, in words for the user, or nothing. With fields, a link's
// field tags must name fields of the table.
std::string CheckUnsubscribe(
    const SUnsubscribeSettings &settings, const CMergeFields *pFields = nullptr);

// The List-Unsubscribe value of one record's message: "<mailto:...>, <https://...>".
std::string ListUnsubscribeValue(
    const SUnsubscribeSettings &settings, const CMergeFields &fields, const CMergeRecord &record);

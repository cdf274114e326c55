#pragma once

#include <string>
#include <vector>

// What a merge adds to the plain message: copies, blind copies and attached files. Every text
// may hold field tags and {IF} blocks, merged for each record like the body.
struct SMessageExtras
{
    std::string strCc; // addresses separated by commas or semicolons
    std::string strBcc;
    // Files or path templates ("invoices/<<ID>>.pdf"); a relative path is taken from the merge
    // file's folder.
    std::vector<std::string> attachments;

    bool IsEmpty() const { return strCc.empty() && strBcc.empty() && attachments.empty(); }
    bool operator==(const SMessageExtras &) const = default;
};

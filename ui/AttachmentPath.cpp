#include "ui/AttachmentPath.h"

#include "mail/PersonalParts.h"

std::string AttachmentPathForRecord(const std::string &strEntry, const CMergeFields &fields,
    const CMergeRecord &record, const std::string &strFolder)
{
    // Merged exactly as a send merges it, so the preview names the file that would be sent.
    const CPersonalParts parts({}, {{}, {}, {strEntry}}, fields, strFolder);
    return parts.Expand(record).attachments.front();
}

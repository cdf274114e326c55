#pragma once

#include <string>

#include "engine/MergeTemplate.h"

// The file an attachment entry names for one record: its {IF} blocks and field tags merged as
// a message body's are, and a relative result taken from strFolder (the merge file's folder,
// ending in "/"), or from the working folder when strFolder is empty.
std::string AttachmentPathForRecord(const std::string &strEntry, const CMergeFields &fields,
    const CMergeRecord &record, const std::string &strFolder);

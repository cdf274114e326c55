#include "ui/AttachmentPath.h"

#include <filesystem>
#include <system_error>

std::string AttachmentPathForRecord(const std::string &strEntry, const CMergeFields &fields,
    const CMergeRecord &record, const std::string &strFolder)
{
    const std::string strPath
        = ExpandTemplate(strEntry, CollectIfStatements(strEntry, fields), fields, record);
    const std::filesystem::path path(strPath);
    if (strPath.empty() || path.is_absolute())
        return strPath;
    if (!strFolder.empty())
        return strFolder + strPath;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? strPath : absolute.string();
}

#include "mail/AttachmentCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>

SAttachmentFile InspectAttachment(const std::string &strPath)
{
    SAttachmentFile file;
    struct stat status
    { };
    if (strPath.empty()) {
        file.strProblem = "is an empty path";
    } else if (::stat(strPath.c_str(), &status) != 0) {
        file.strProblem
            = errno == EACCES ? "cannot be reached: permission denied" : "was not found";
    } else if (S_ISDIR(status.st_mode)) {
        file.strProblem = "is a folder, not a file";
    } else if (!S_ISREG(status.st_mode)) {
        file.strProblem = "is not a regular file";
    } else if (::access(strPath.c_str(), R_OK) != 0) {
        file.strProblem = "cannot be read: permission denied";
    } else if (static_cast<unsigned long long>(status.st_size) > kMaxAttachmentBytes) {
        file.strProblem = "is larger than 100 MB, more than any mail server takes";
    }
    if (!file.strProblem.empty())
        return file;
    file.nSize = static_cast<unsigned long long>(status.st_size);
    static const QMimeDatabase s_mimeTypes;
    file.strContentType
        = s_mimeTypes.mimeTypeForFile(QString::fromStdString(strPath)).name().toStdString();
    if (file.strContentType.empty() || file.strContentType.find('/') == std::string::npos)
        file.strContentType = "application/octet-stream";
    return file;
}

bool IsInsideFolder(const std::string &strPath, const std::string &strFolder)
{
    const auto resolved = [](const std::string &strText) {
        const QFileInfo info(QString::fromStdString(strText));
        const QString strCanonical = info.canonicalFilePath();
        return strCanonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : strCanonical;
    };
    const QString strFolderPath = resolved(strFolder);
    const QString strFilePath = resolved(strPath);
    return strFolderPath == QStringLiteral("/") || strFilePath.startsWith(strFolderPath + u'/');
}

const SAttachmentFile &CAttachmentFiles::Inspect(const std::string &strPath)
{
    const auto found = m_files.find(strPath);
    if (found != m_files.end())
        return found->second;
    return m_files.emplace(strPath, InspectAttachment(strPath)).first->second;
}

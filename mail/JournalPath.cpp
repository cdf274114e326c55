#include "mail/JournalPath.h"

#include <filesystem>
#include <system_error>

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

#include "mail/SendJournal.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuffix = ".journal";

bool Exists(const std::string &strPath)
{
    struct stat status
    { };
    return ::lstat(strPath.c_str(), &status) == 0;
}

// As the merge was named, made absolute: journals were once found by that name.
std::string SpelledPath(const std::string &strPath)
{
    std::error_code error;
    return fs::absolute(strPath, error).lexically_normal().string();
}

// The file's own path, links and "." and ".." resolved; as spelled when it cannot be resolved.
std::string RealPath(const std::string &strPath)
{
    std::error_code error;
    const fs::path real = fs::canonical(strPath, error);
    return error ? SpelledPath(strPath) : real.string();
}

bool CanWriteBeside(const std::string &strJournal)
{
    const std::string strFolder = fs::path(strJournal).parent_path().string();
    return ::access(strFolder.c_str(), W_OK) == 0
        && (!Exists(strJournal) || ::access(strJournal.c_str(), W_OK) == 0);
}

// Renames a journal with its log.
void MoveJournal(const std::string &strFrom, const std::string &strTo)
{
    std::error_code error;
    fs::rename(strFrom, strTo, error);
    if (error)
        return;
    for (const char *pSuffix : {"-wal", "-shm"})
        fs::rename(strFrom + pSuffix, strTo + pSuffix, error);
}

// The journal a merge left beside it under an earlier name: "OLD.mgx.journal" whose OLD.mgx
// is gone, and that recorded this very file. Nothing when none, or more than one, does.
std::string FindRenamedJournal(const std::string &strMerge)
{
    struct stat merge
    { };
    if (::stat(strMerge.c_str(), &merge) != 0)
        return {};
    std::error_code error;
    std::string strFound;
    for (fs::directory_iterator it(fs::path(strMerge).parent_path(), error), end;
         !error && it != end; it.increment(error)) {
        const std::string strName = it->path().string();
        if (strName.size() <= kSuffix.size() || !strName.ends_with(kSuffix))
            continue;
        const std::string strOldMerge = strName.substr(0, strName.size() - kSuffix.size());
        std::error_code typeError;
        if (Exists(strOldMerge) || !it->is_regular_file(typeError) || it->is_symlink(typeError))
            continue;
        if (CSendJournal::RecordsMergeFile(strName, merge.st_dev, merge.st_ino)) {
            if (!strFound.empty())
                return {};
            strFound = strName;
        }
    }
    return strFound;
}

std::string DataFolderJournal(const std::string &strKey)
{
    const QString strFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Corvane Software/Mergix/journals");
    QDir().mkpath(strFolder);
    // Journals hold every recipient's address: their folder is the user's alone.
    ::chmod(strFolder.toUtf8().constData(), 0700);
    const std::string strName
        = QCryptographicHash::hash(QByteArray::fromStdString(strKey), QCryptographicHash::Sha256)
              .toHex()
              .toStdString()
              .substr(0, 32);
    return strFolder.toStdString() + "/" + strName + std::string(kSuffix);
}

} // namespace

std::string JournalPathFor(const std::string &strMergePath, const std::string &strUnsavedKey)
{
    if (strMergePath.empty())
        return DataFolderJournal("unsaved:" + strUnsavedKey);
    const std::string strReal = RealPath(strMergePath);
    const std::string strSpelled = SpelledPath(strMergePath);
    const std::string strBeside = strReal + std::string(kSuffix);
    if (CanWriteBeside(strBeside)) {
        if (!Exists(strBeside)) {
            const std::string strSpelledBeside = strSpelled + std::string(kSuffix);
            const std::string strFound = strSpelledBeside != strBeside && Exists(strSpelledBeside)
                ? strSpelledBeside
                : FindRenamedJournal(strReal);
            if (!strFound.empty())
                MoveJournal(strFound, strBeside);
        }
        return strBeside;
    }
    const std::string strJournal = DataFolderJournal(strReal);
    if (!Exists(strJournal) && strSpelled != strReal) {
        if (std::string strEarlier = DataFolderJournal(strSpelled); Exists(strEarlier))
            return strEarlier;
    }
    return strJournal;
}

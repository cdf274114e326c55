#include "ui/AttachmentList.h"

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr const char *kBlanks = " \t";

std::string WithoutSurroundingBlanks(const std::string &strText)
{
    const size_t nFirst = strText.find_first_not_of(kBlanks);
    if (nFirst == std::string::npos)
        return {};
    return strText.substr(nFirst, strText.find_last_not_of(kBlanks) - nFirst + 1);
}

bool HasControlCharacter(const std::string &strText)
{
    return std::any_of(strText.begin(), strText.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

} // namespace

CAttachmentList::CAttachmentList(std::vector<std::string> entries, std::string strMergeFolder)
    : m_entries(std::move(entries)), m_strMergeFolder(std::move(strMergeFolder))
{ }

std::string CAttachmentList::AddTyped(const std::string &strTyped)
{
    return Add(WithoutSurroundingBlanks(strTyped));
}

std::string CAttachmentList::AddFiles(const std::vector<std::string> &files)
{
    std::string strFirstProblem;
    for (const std::string &strFile : files) {
        std::string strProblem = Add(StoredPath(strFile));
        if (strFirstProblem.empty())
            strFirstProblem = std::move(strProblem);
    }
    return strFirstProblem;
}

std::string CAttachmentList::StoredPath(const std::string &strFile) const
{
    if (m_strMergeFolder.empty() || strFile.empty())
        return strFile;
    const fs::path file = fs::path(strFile).lexically_normal();
    const fs::path relative
        = file.lexically_relative(fs::path(m_strMergeFolder).lexically_normal());
    if (relative.empty() || relative == "." || *relative.begin() == "..")
        return strFile;
    return relative.generic_string();
}

void CAttachmentList::Remove(std::vector<int> indexes)
{
    // From the last down, so that the indexes still to go keep their entries.
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        if (*it >= 0 && static_cast<size_t>(*it) < m_entries.size())
            m_entries.erase(m_entries.begin() + *it);
    }
}

std::string CAttachmentList::PreviewLine(int nIndex, const PathPreview &preview) const
{
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_entries.size())
        return "Select an entry to see the file it names for the table's first record.";
    if (!preview)
        return "No list is open, so the file for a record cannot be shown.";
    const std::optional<std::string> path = preview(m_entries[static_cast<size_t>(nIndex)]);
    if (!path)
        return "The list has no records, so the file for a record cannot be shown.";
    if (path->empty())
        return "For the table's first record this entry names no file.";
    return "For the table's first record: " + *path;
}

std::string CAttachmentList::Add(std::string strPath)
{
    if (strPath.empty())
        return "Please type the path of a file to attach.";
    if (strPath.find_first_of("\r\n") != std::string::npos)
        return "A path cannot contain a line break.";
    if (HasControlCharacter(strPath))
        return "A path cannot contain a control character such as a tab.";
    if (std::find(m_entries.begin(), m_entries.end(), strPath) != m_entries.end())
        return "\"" + strPath + "\" is attached already.";
    m_entries.push_back(std::move(strPath));
    return {};
}

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What the Attachments dialog edits, without the dialog: the merge's attachment entries (files
// and path templates such as "invoices/<<ID>>.pdf"), checked as they are added, and the line
// that shows which file an entry names for one record.
class CAttachmentList final
{
public:
    // The file an entry names for the record the preview is made from, or nothing when the
    // list has no record.
    using PathPreview = std::function<std::optional<std::string>(const std::string &strEntry)>;

    // strMergeFolder is the merge file's folder, ending in "/"; empty for a merge never saved.
    CAttachmentList(std::vector<std::string> entries, std::string strMergeFolder);

    const std::vector<std::string> &Entries() const { return m_entries; }
    const std::string &MergeFolder() const { return m_strMergeFolder; }

    // Adds a typed path or template, without its surrounding blanks. The problem's message,
    // or empty when it was added.
    std::string AddTyped(const std::string &strTyped);
    // Adds files chosen in a file dialog (absolute paths) as StoredPath gives them; the first
    // problem's message, or empty when all were added.
    std::string AddFiles(const std::vector<std::string> &files);
    // A file inside the merge file's folder is kept relative to it, so that the merge and its
    // files can move together; any other keeps its absolute path.
    std::string StoredPath(const std::string &strFile) const;
    // Removes the entries at these indexes; indexes out of range are ignored.
    void Remove(std::vector<int> indexes);

    // The line under the list for the entry at nIndex (-1: none selected). Without a preview
    // no list is open.
    std::string PreviewLine(int nIndex, const PathPreview &preview) const;

private:
    std::string Add(std::string strPath);

    std::vector<std::string> m_entries;
    std::string m_strMergeFolder;
};

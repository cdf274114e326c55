#include "app/FileCommands.h"

#include <algorithm>

#include "app/Settings.h"
#include "document/MergixDoc.h"
#include "engine/Prompter.h"

CFileCommands::CFileCommands(CMergixDoc &doc, CSettings &settings, SFileDialogs dialogs)
    : m_doc(doc), m_settings(settings), m_dialogs(std::move(dialogs))
{ }

std::string CFileCommands::Title() const
{
    const std::string &strPath = m_doc.GetPathName();
    if (strPath.empty())
        return "Untitled";
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

bool CFileCommands::SaveModified()
{
    if (!m_doc.IsModified())
        return true;
    switch (AskYesNoCancel("Save changes to " + Title() + "?")) {
    case CPrompter::EAnswer::Yes:
        return Save();
    case CPrompter::EAnswer::No:
        return true;
    case CPrompter::EAnswer::Cancel:
        break;
    }
    return false;
}

void CFileCommands::New()
{
    // A merge the user chose not to save stays marked as changed: a cancelled wizard gives it
    // back, and the next Open or Exit asks again.
    if (!SaveModified())
        return;
    m_doc.OnNewDocument();
    if (!m_doc.GetPathName().empty())
        AddRecentFile(m_doc.GetPathName()); // the start-up choice opened a file
}

void CFileCommands::Open()
{
    if (!SaveModified() || !m_dialogs.chooseFileToOpen)
        return;
    if (const auto path = m_dialogs.chooseFileToOpen())
        OpenWithoutAsking(*path);
}

bool CFileCommands::OpenFile(const std::string &strPath)
{
    return SaveModified() && OpenWithoutAsking(strPath);
}

bool CFileCommands::OpenRecentFile(size_t nIndex)
{
    std::vector<std::string> paths = RecentFiles();
    if (nIndex >= paths.size() || !SaveModified())
        return false;
    const std::string strPath = paths[nIndex];
    bool bOpened = false;
    struct SDropOnFailure
    {
        CFileCommands &commands;
        const std::string &strPath;
        const bool &bOpened;
        ~SDropOnFailure()
        {
            if (bOpened)
                return;
            std::vector<std::string> left = commands.RecentFiles();
            left.erase(std::remove(left.begin(), left.end(), strPath), left.end());
            commands.m_settings.SetRecentFiles(left);
        }
    } dropOnFailure {*this, strPath, bOpened};
    bOpened = OpenWithoutAsking(strPath);
    return bOpened;
}

bool CFileCommands::OpenWithoutAsking(const std::string &strPath)
{
    if (!m_doc.OnOpenDocument(strPath))
        return false;
    m_doc.SetPathName(strPath);
    AddRecentFile(strPath);
    return true;
}

bool CFileCommands::Save()
{
    if (m_doc.GetPathName().empty())
        return SaveAs();
    return SaveTo(m_doc.GetPathName());
}

bool CFileCommands::SaveAs()
{
    if (!m_dialogs.chooseFileToSave)
        return false;
    const auto path = m_dialogs.chooseFileToSave(Title() == "Untitled" ? "" : Title());
    return path && SaveTo(WithMergeExtension(*path));
}

bool CFileCommands::SaveTo(const std::string &strPath)
{
    if (!m_doc.OnSaveDocument(strPath))
        return false;
    m_doc.SetPathName(strPath);
    AddRecentFile(strPath);
    return true;
}

std::vector<std::string> CFileCommands::RecentFiles() const
{
    return m_settings.RecentFiles();
}

void CFileCommands::AddRecentFile(const std::string &strPath)
{
    std::vector<std::string> paths = RecentFiles();
    paths.erase(std::remove(paths.begin(), paths.end(), strPath), paths.end());
    paths.insert(paths.begin(), strPath);
    if (paths.size() > size_t(CSettings::kRecentFiles))
        paths.resize(CSettings::kRecentFiles);
    // Reopening the newest file changes nothing: the settings file is not written (and synced
    // to the disk) again.
    if (paths != RecentFiles())
        m_settings.SetRecentFiles(paths);
}

std::string CFileCommands::WithMergeExtension(const std::string &strPath)
{
    const size_t nSlash = strPath.rfind('/');
    const std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    if (strName.empty() || strName.find('.') != std::string::npos)
        return strPath;
    return strPath + ".mgx";
}

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CMergixDoc;
class CSettings;

// The file dialogs the file commands need; the windows fill them in.
struct SFileDialogs
{
    // The .mgx file to open, or nothing when the user cancelled.
    std::function<std::optional<std::string>()> chooseFileToOpen;
    // Where to save, starting from the suggested name; nothing when the user cancelled.
    std::function<std::optional<std::string>(const std::string &strSuggested)> chooseFileToSave;
};

// File New, Open, Save, Save As and the recent-file list over the one document, with the
// "Save changes to %1?" question before anything would drop unsaved work. Database failures
// throw CDaoException to the caller, which runs each command through the dispatcher.
class CFileCommands final
{
public:
    CFileCommands(CMergixDoc &doc, CSettings &settings, SFileDialogs dialogs);

    // "Untitled", or the file name of the merge.
    std::string Title() const;
    // The main window's caption: the title, a dash and "Mergix".
    std::string WindowTitle() const { return Title() + " - Mergix"; }

    // Asks "Save changes to %1?" when the merge is modified; false when the user cancelled
    // (or the save failed), so that nothing is dropped.
    bool SaveModified();
    void New();
    void Open();
    // Opens the file after SaveModified; false when it was not opened.
    bool OpenFile(const std::string &strPath);
    // Opens a recent file; one that cannot be opened leaves the list.
    bool OpenRecentFile(size_t nIndex);
    bool Save();
    bool SaveAs();

    std::vector<std::string> RecentFiles() const;
    void SetDialogs(SFileDialogs dialogs) { m_dialogs = std::move(dialogs); }

    // Save As: a name typed without an extension gets ".mgx".
    static std::string WithMergeExtension(const std::string &strPath);

private:
    bool SaveTo(const std::string &strPath);
    bool OpenWithoutAsking(const std::string &strPath);
    void AddRecentFile(const std::string &strPath);

    CMergixDoc &m_doc;
    CSettings &m_settings;
    SFileDialogs m_dialogs;
};

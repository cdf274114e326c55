#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/MessageExtras.h"
#include "document/PropertyBlock.h"
#include "engine/MergeTemplate.h"
#include "sources/DataSource.h"

class CDocumentControls;
class CMgxArchive;
class CProgress;

// The values the New merge wizard offers on Finish.
struct SWizardResult
{
    std::string strDatabasePath;
    std::string strTableName;
    std::string strToField;
    std::string strSenderName;
    std::string strSenderAddress;
    std::string strSubject;
    std::string strReplyTo;
};

// Another list or table than the merge file names, for one run.
struct SListChoice
{
    std::optional<std::string> source; // a path, taken from the working folder when relative
    std::optional<std::string> table; // without it: the list's only table or first sheet
};

// What the document asks of the user interface while it sets up a merge; the windows fill
// these in. Without them a new merge is an empty, unconfigured one.
struct SDocumentHooks
{
    // 0: create a new merge, 1: open an existing one, 2: cancelled.
    std::function<int()> startupChoice;
    // The .mgx file to open, or nothing when the user cancelled.
    std::function<std::optional<std::string>()> chooseFileToOpen;
    // Runs the New merge wizard on this document; nothing when it was cancelled.
    std::function<std::optional<SWizardResult>()> runWizard;
};

// One e-mail merge: the list (an Access database, a CSV file, a spreadsheet or an SQLite
// database) and its table, the sender, the To field, Reply-To, subject
// and body, stored in a .mgx file, and the open connection to the table with its field list.
// Database failures throw CDaoException to the caller (the command dispatcher shows them);
// file failures are shown through the prompter and reported as false.
class CMergixDoc final
{
public:
    CMergixDoc();
    ~CMergixDoc();
    CMergixDoc(const CMergixDoc &) = delete;
    CMergixDoc &operator=(const CMergixDoc &) = delete;

    void SetControls(CDocumentControls *pControls) { m_pControls = pControls; }
    void SetProgressFactory(std::function<std::unique_ptr<CProgress>()> factory);
    void SetHooks(SDocumentHooks hooks) { m_hooks = std::move(hooks); }
    // Called whenever the connection or the ready state may have changed, also when an
    // operation ends by a database failure: the windows follow it to enable their commands.
    void SetStateObserver(std::function<void()> observer) { m_stateObserver = std::move(observer); }

    // The seven strings in their file order, then the property block when the merge uses a
    // property beyond them. Loading throws CNewerMergeFile for a block of a later version.
    void Serialize(CMgxArchive &archive);
    bool OnNewDocument();
    // Opens a merge file and connects to its list. pList, for one run of the command line,
    // connects to another list or table instead; the file itself is left as it is.
    bool OnOpenDocument(const std::string &strPath, const SListChoice *pList = nullptr);
    // Reads the seven strings of a merge file without opening its database; false, with the
    // message shown, when the file cannot be read.
    bool ReadMergeFile(const std::string &strPath);
    bool OnSaveDocument(const std::string &strPath);
    void UpdateControlsFromDocument();
    void UpdateDocumentFromControls();

    void OpenConnection();
    void ReopenConnection();
    void LoadFieldList();
    void RefreshDatabase();
    bool IsConnectionOpen() const { return m_pSource && m_pTable; }
    // Opens a list by its path, letting go of the one open before; throws CDaoException.
    void OpenSource(const std::string &strPath);
    // Opens a table of the open list as the merge's table.
    void OpenTableRecordset(const std::string &strName);
    // The open list and table; nullptr when none is open.
    const CDataSource *Source() const { return m_pSource.get(); }
    CTableCursor *Table() const { return m_pTable.get(); }
    // The open table's name as its list spells it.
    const std::string &OpenTableName() const { return m_strOpenTable; }
    // The tables the wizard offers: every table of the list, hidden sheets marked.
    std::vector<SSourceTable> SourceTables() const;
    // Their names.
    std::vector<std::string> ListTables() const;
    // The fields of the open recordset, in field order.
    std::vector<std::string> ListFields() const;
    // The field list as the template language reads it.
    CMergeFields MergeFields() const { return {m_fieldNames, m_fieldTypes}; }
    // The folder relative attachment paths are taken from: the merge file's, ending in "/";
    // empty (the working folder) for a merge never saved.
    std::string AttachmentFolder() const;
    // The database path, taken relative to the folder of the merge file it was read from when
    // it is relative.
    std::string DatabaseFilePath() const;
    // The database file and table a merge file names, read as opening it reads them; both empty
    // when the file cannot be read.
    static std::pair<std::string, std::string> ListNamedIn(const std::string &strMergePath);

    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }
    const std::string &GetPathName() const { return m_strPathName; }
    void SetPathName(const std::string &strPath) { m_strPathName = strPath; }

    bool m_bFirstNew = true;
    std::string m_strDatabasePath;
    std::string m_strTableName;
    std::string m_strToField;
    std::string m_strFrom;
    std::string m_strSubject;
    std::string m_strReplyTo;
    std::string m_strBody;
    // The body as the editor formats it (HTML); empty for a plain message. m_strBody holds its
    // plain-text twin.
    std::string m_strFormattedBody;
    SMessageExtras m_extras;
    bool m_bDatabaseReady = false;
    std::vector<std::string> m_fieldNames;
    std::vector<short> m_fieldTypes;

private:
    std::unique_ptr<CProgress> CreateProgress();
    // Tells the observer when the operation that made it ends, however it ends.
    class CStateNotice final
    {
    public:
        explicit CStateNotice(const CMergixDoc &doc) : m_doc(doc) { }
        ~CStateNotice()
        {
            if (m_doc.m_stateObserver)
                m_doc.m_stateObserver();
        }
        CStateNotice(const CStateNotice &) = delete;
        CStateNotice &operator=(const CStateNotice &) = delete;

    private:
        const CMergixDoc &m_doc;
    };
    void CloseConnection();
    void LeaveUnconfigured();
    // Connects again to the merge that was open before a failed open, when it was connected.
    void ReconnectAfterFailedOpen(bool bWasConnected);

    // Properties of a later release of this version's block, written back as they were read.
    MergeProperties m_otherProperties;
    std::unique_ptr<CDataSource> m_pSource;
    std::unique_ptr<CTableCursor> m_pTable;
    std::string m_strOpenTable;
    CDocumentControls *m_pControls = nullptr;
    std::function<std::unique_ptr<CProgress>()> m_progressFactory;
    SDocumentHooks m_hooks;
    std::function<void()> m_stateObserver;
    std::string m_strPathName;
    std::string m_strMergeFolder; // of the .mgx file last opened, ending in "/"
    bool m_bModified = false;
    bool m_bDefaultTable = false; // the list's own first table, not the one the file names
};

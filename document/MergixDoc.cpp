#include "document/MergixDoc.h"

#include <cerrno>
#include <utility>

#include <QByteArray>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>

#include "document/DocumentControls.h"
#include "document/MgxArchive.h"
#include "document/ReadWholeFile.h"
#include "engine/PrintableText.h"
#include "engine/Progress.h"
#include "engine/ProgressScope.h"
#include "engine/Prompter.h"
#include "sources/access/DaoException.h"
#include "sources/sql/ServerAddress.h"

namespace {

std::string Replace(std::string strText, const std::string &strPath)
{
    return strText.replace(strText.find("%1"), 2, PrintableText(strPath));
}

} // namespace

CMergixDoc::CMergixDoc() = default;
CMergixDoc::~CMergixDoc() = default;

void CMergixDoc::SetProgressFactory(std::function<std::unique_ptr<CProgress>()> factory)
{
    m_progressFactory = std::move(factory);
}

std::unique_ptr<CProgress> CMergixDoc::CreateProgress()
{
    if (m_progressFactory)
        return m_progressFactory();
    return std::make_unique<CNullProgress>();
}

namespace {

constexpr const char *kCc = "Cc";
constexpr const char *kBcc = "Bcc";
constexpr const char *kAttachments = "Attachments"; // one path a line
// The digest of the plain body it was saved with, a line break, then the HTML.
constexpr const char *kFormattedBody = "FormattedBody";

std::string BodyDigest(const std::string &strBody)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(strBody), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

MergeProperties ExtrasToProperties(const SMessageExtras &extras, const MergeProperties &others)
{
    MergeProperties properties;
    if (!extras.strCc.empty())
        properties.emplace_back(kCc, extras.strCc);
    if (!extras.strBcc.empty())
        properties.emplace_back(kBcc, extras.strBcc);
    if (!extras.attachments.empty()) {
        std::string strPaths;
        for (const std::string &strPath : extras.attachments)
            strPaths += (strPaths.empty() ? "" : "\n") + strPath;
        properties.emplace_back(kAttachments, strPaths);
    }
    properties.insert(properties.end(), others.begin(), others.end());
    return properties;
}

// Takes the properties it knows out of the list; the others stay in it.
SMessageExtras ExtrasFromProperties(MergeProperties &properties)
{
    SMessageExtras extras;
    std::erase_if(properties, [&](const auto &property) {
        const auto &[strName, strValue] = property;
        if (strName == kCc)
            extras.strCc = strValue;
        else if (strName == kBcc)
            extras.strBcc = strValue;
        else if (strName == kAttachments) {
            for (size_t nStart = 0; nStart <= strValue.size();) {
                size_t nEnd = strValue.find('\n', nStart);
                if (nEnd == std::string::npos)
                    nEnd = strValue.size();
                if (nEnd > nStart)
                    extras.attachments.push_back(strValue.substr(nStart, nEnd - nStart));
                nStart = nEnd + 1;
            }
        } else
            return false;
        return true;
    });
    return extras;
}

// The folder of a file, ending in "/"; empty for a bare name.
std::string FolderOf(const std::string &strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? std::string() : strPath.substr(0, nSlash + 1);
}

} // namespace

void CMergixDoc::Serialize(CMgxArchive &archive)
{
    std::string *const members[] = {&m_strDatabasePath, &m_strToField, &m_strFrom, &m_strReplyTo,
        &m_strSubject, &m_strTableName, &m_strBody};
    for (std::string *pMember : members) {
        if (archive.IsStoring())
            archive.WriteString(*pMember);
        else
            *pMember = archive.ReadString(); // members read before a short end keep their value
    }
    if (archive.IsStoring()) {
        MergeProperties properties = ExtrasToProperties(m_extras, m_otherProperties);
        if (!m_strFormattedBody.empty())
            properties.emplace_back(
                kFormattedBody, BodyDigest(m_strBody) + "\n" + m_strFormattedBody);
        PropertyBlock::Write(archive, properties);
    } else {
        m_extras = {};
        m_strFormattedBody.clear();
        m_otherProperties = PropertyBlock::Read(archive);
        m_extras = ExtrasFromProperties(m_otherProperties);
        std::erase_if(m_otherProperties, [&](const auto &property) {
            if (property.first != kFormattedBody)
                return false;
            // A version of Mergix that knows no formatting carries the HTML along unchanged
            // while it edits the plain text: the newer words win, the formatting is dropped.
            const size_t nBreak = property.second.find('\n');
            if (nBreak != std::string::npos
                && property.second.compare(0, nBreak, BodyDigest(m_strBody)) == 0)
                m_strFormattedBody = property.second.substr(nBreak + 1);
            return true;
        });
    }
}

void CMergixDoc::LeaveUnconfigured()
{
    // A merge opened before (from the command line) must not leave its table open behind an
    // empty merge, or its commands would stay enabled.
    m_bDatabaseReady = false;
    CloseConnection();
}

void CMergixDoc::CloseConnection()
{
    const CStateNotice notice(*this);
    m_pTable.reset();
    m_strOpenTable.clear();
    m_pSource.reset();
}

bool CMergixDoc::OnNewDocument()
{
    const CStateNotice notice(*this);
    int nChoice = 0;
    if (m_bFirstNew) {
        nChoice = m_hooks.startupChoice ? m_hooks.startupChoice() : 2;
        if (nChoice < 0 || nChoice > 2)
            nChoice = 0;
        m_bFirstNew = false;
    }
    // Without a merge, declining the choice or the file leaves an unconfigured one; with a merge
    // (opened from the command line), declining leaves that merge as it is, unsaved edits and all.
    const auto declined = [this] {
        if (!m_bDatabaseReady) {
            m_bModified = false;
            LeaveUnconfigured();
        }
    };
    if (nChoice == 1) {
        const auto path = m_hooks.chooseFileToOpen ? m_hooks.chooseFileToOpen() : std::nullopt;
        if (path && OnOpenDocument(*path))
            SetPathName(*path);
        else if (!path)
            declined();
        return true;
    }
    if (nChoice == 2) {
        declined();
        return true;
    }

    // A cancelled wizard gives back the merge it replaced as it was on screen, still named by its
    // file, as a cancelled File Open does.
    std::string strReplacedPath;
    std::swap(strReplacedPath, m_strPathName);
    if (m_bDatabaseReady)
        UpdateDocumentFromControls();
    const bool bModifiedBefore = m_bModified;
    m_bModified = false;
    CloseConnection();
    const auto result = m_hooks.runWizard ? m_hooks.runWizard() : std::nullopt;
    if (result) {
        m_strDatabasePath = result->strDatabasePath;
        m_strTableName = result->strTableName;
        m_strToField = result->strToField;
        m_strSubject = result->strSubject;
        m_strReplyTo = result->strReplyTo;
        m_strFrom = result->strSenderName + " <" + result->strSenderAddress + ">";
        m_strBody.clear();
        m_strFormattedBody.clear();
        m_strMergeFolder.clear();
        m_bDatabaseReady = true;
    } else if (m_bDatabaseReady) {
        ReopenConnection();
        m_strPathName = std::move(strReplacedPath);
        m_bModified = bModifiedBefore;
    } else {
        CloseConnection(); // what a cancelled wizard opened: nothing is set up
    }
    if (m_bDatabaseReady) {
        LoadFieldList();
        UpdateControlsFromDocument();
    }
    return true;
}

bool CMergixDoc::ReadMergeFile(const std::string &strPath)
{
    std::string strData;
    const int nError = ReadWholeFile(strPath, strData);
    if (nError != 0) {
        if (nError == ENOENT || nError == ENOTDIR)
            ShowMessage(Replace("%1 was not found.", strPath));
        else if (nError == EACCES || nError == EPERM)
            ShowMessage(Replace("Access to %1 was denied.", strPath));
        else if (nError == ENODEV)
            ShowMessage(Replace("%1 is not a file.", strPath));
        else if (nError == EFBIG)
            ShowMessage(Replace("%1 is too large to be a merge file (at most 64 MB).", strPath));
        else
            ShowMessage("Failed to open document.");
        return false;
    }
    if (!strData.empty()) {
        const bool bWasModified = m_bModified;
        m_bModified = true; // dirty while the strings are read
        CMgxArchive archive(strData);
        try {
            Serialize(archive);
        } catch (const CNewerMergeFile &newer) {
            m_bModified = bWasModified;
            ShowMessage(newer.what());
            return false;
        } catch (const CMgxArchive::CEndOfData &) {
            // A file that could not be read changes nothing the user would want saved: the
            // next command must not ask to save a merge nobody changed.
            m_bModified = bWasModified;
            ShowMessage("Unexpected file format.");
            return false;
        }
    }
    return true;
}

bool CMergixDoc::OnOpenDocument(const std::string &strPath, const SListChoice *pList)
{
    const CStateNotice notice(*this);
    // A merge that cannot be opened leaves the open one as it was, settings and connection: a
    // later save must never write another file's database or table into it. The controls are
    // only filled once the new merge is connected, so they still show the open one.
    CMgxArchive before;
    Serialize(before);
    const std::string strFolderBefore = m_strMergeFolder;
    const bool bModifiedBefore = m_bModified;
    const bool bConnectedBefore = m_bDatabaseReady && m_pTable;
    const auto restore = [&] {
        CMgxArchive saved(before.Bytes());
        Serialize(saved);
        m_strMergeFolder = strFolderBefore;
        m_bModified = bModifiedBefore;
    };
    if (!ReadMergeFile(strPath)) {
        restore();
        return false;
    }
    m_strMergeFolder = FolderOf(strPath);
    if (pList && pList->source)
        m_strDatabasePath = IsServerAddress(*pList->source)
            ? *pList->source
            : QFileInfo(QString::fromStdString(*pList->source)).absoluteFilePath().toStdString();
    if (pList && pList->table)
        m_strTableName = *pList->table;
    m_bDefaultTable = pList && pList->source && !pList->table;
    try {
        OpenConnection();
    } catch (const CDaoException &) {
        restore();
        ReconnectAfterFailedOpen(bConnectedBefore);
        m_bModified = bModifiedBefore;
        throw;
    }
    m_bModified = false;
    m_bDatabaseReady = true;
    return true;
}

void CMergixDoc::ReconnectAfterFailedOpen(bool bWasConnected)
{
    if (!bWasConnected) {
        CloseConnection();
        return;
    }
    try {
        ReopenConnection();
        LoadFieldList();
    } catch (const CDaoException &) {
        // Its database went too: the merge stays, unconnected, as after a failed refresh.
        LeaveUnconfigured();
    }
}

bool CMergixDoc::OnSaveDocument(const std::string &strPath)
{
    UpdateDocumentFromControls();
    CMgxArchive archive;
    Serialize(archive);
    const std::string &strBytes = archive.Bytes();

    // The old file is replaced only once the new one is written completely.
    QSaveFile file(QString::fromStdString(strPath));
    const bool bSaved = file.open(QIODevice::WriteOnly)
        && file.write(strBytes.data(), static_cast<qint64>(strBytes.size()))
            == static_cast<qint64>(strBytes.size())
        && file.commit();
    if (!bSaved) {
        const QFileDevice::FileError error = file.error();
        file.cancelWriting();
        if (error == QFileDevice::ResourceError)
            ShowMessage(Replace("Disk full while accessing %1.", strPath));
        else if (error == QFileDevice::PermissionsError)
            ShowMessage(Replace("Access to %1 was denied.", strPath));
        else
            ShowMessage("Failed to save document.");
        return false;
    }
    m_bModified = false;
    return true;
}

void CMergixDoc::UpdateControlsFromDocument()
{
    if (!m_pControls)
        return;
    m_pControls->SetToFieldList(m_fieldNames);
    m_pControls->SelectToField(m_strToField);
    m_pControls->SetFrom(m_strFrom);
    m_pControls->SetSubject(m_strSubject);
    m_pControls->SetReplyTo(m_strReplyTo);
    m_pControls->SetBody(m_strBody);
    m_pControls->SetFormattedBody(m_strFormattedBody);
    m_pControls->SetExtras(m_extras);
}

void CMergixDoc::UpdateDocumentFromControls()
{
    if (!m_pControls)
        return;
    m_strBody = m_pControls->Body();
    m_strFormattedBody = m_pControls->FormattedBody();
    m_strToField = m_pControls->SelectedToField();
    m_strFrom = m_pControls->From();
    m_strSubject = m_pControls->Subject();
    m_strReplyTo = m_pControls->ReplyTo();
    m_extras = m_pControls->Extras();
}

std::string CMergixDoc::AttachmentFolder() const
{
    const size_t nSlash = m_strPathName.rfind('/');
    if (nSlash != std::string::npos)
        return m_strPathName.substr(0, nSlash + 1);
    return m_strMergeFolder;
}

std::pair<std::string, std::string> CMergixDoc::ListNamedIn(const std::string &strMergePath)
{
    std::string strData;
    if (ReadWholeFile(strMergePath, strData) != 0)
        return {};
    CMergixDoc doc;
    try {
        CMgxArchive archive(strData);
        doc.Serialize(archive);
    } catch (const std::exception &) {
        return {};
    }
    doc.m_strMergeFolder = FolderOf(strMergePath);
    return {doc.DatabaseFilePath(), doc.m_strTableName};
}

std::string CMergixDoc::DatabaseFilePath() const
{
    if (m_strDatabasePath.empty() || m_strDatabasePath.front() == '/'
        || IsServerAddress(m_strDatabasePath))
        return m_strDatabasePath;
    return m_strMergeFolder + m_strDatabasePath;
}

void CMergixDoc::OpenSource(const std::string &strPath)
{
    CloseConnection();
    m_pSource = OpenDataSource(strPath);
}

void CMergixDoc::OpenTableRecordset(const std::string &strName)
{
    m_pTable.reset();
    m_strOpenTable.clear();
    if (!m_pSource)
        throw CDaoException(CDaoException::EKind::NoSuchTable,
            "The table \"" + strName + "\" cannot be opened: no database is open.");
    m_pTable = m_pSource->OpenTable(strName);
    const std::vector<SSourceTable> tables = m_pSource->Tables();
    const SSourceTable *pTable = FindSourceTable(tables, strName);
    m_strOpenTable = pTable ? pTable->strName : strName;
}

void CMergixDoc::OpenConnection()
{
    const CStateNotice notice(*this);
    CProgressScope progress(CreateProgress());
    CloseConnection();
    progress->SetStatusText("Opening database file...");
    OpenSource(DatabaseFilePath());
    progress->SetBarPos(33);
    if (m_bDefaultTable) {
        m_strTableName = m_pSource->DefaultTable();
        m_bDefaultTable = false;
    }
    OpenTableRecordset(m_strTableName);
    progress->SetBarPos(66);
    progress->SetStatusText("Refreshing document data...");
    LoadFieldList();
    UpdateControlsFromDocument();
    progress->SetBarPos(100);
}

void CMergixDoc::ReopenConnection()
{
    const CStateNotice notice(*this);
    CProgressScope progress(CreateProgress());
    progress->SetStatusText("Reopening database...");
    CloseConnection();
    OpenSource(DatabaseFilePath());
    progress->SetBarPos(50);
    OpenTableRecordset(m_strTableName);
    progress->SetBarPos(100);
}

void CMergixDoc::LoadFieldList()
{
    m_fieldNames.clear();
    const int nCount = m_pTable ? m_pTable->GetFieldCount() : 0;
    m_fieldNames.resize(static_cast<size_t>(nCount));
    m_fieldTypes.resize(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i) {
        const CDaoFieldInfo &info = m_pTable->GetFieldInfo(i);
        m_fieldNames[static_cast<size_t>(i)] = info.m_strName;
        m_fieldTypes[static_cast<size_t>(i)] = info.m_nType;
    }
}

void CMergixDoc::RefreshDatabase()
{
    const CStateNotice notice(*this);
    CProgressScope progress(CreateProgress());
    progress->SetStatusText("Closing database...");
    m_pTable.reset();
    m_strOpenTable.clear();
    progress->SetBarPos(33);
    progress->SetStatusText("Reopening database...");
    // A CSV file or a spreadsheet is read again, for a list edited since.
    if (m_pSource)
        m_pSource->Reload();
    progress->SetBarPos(66);
    OpenTableRecordset(m_strTableName);
    progress->SetStatusText("Refreshing document data...");
    LoadFieldList();
    progress->SetBarPos(100);
}

std::vector<SSourceTable> CMergixDoc::SourceTables() const
{
    return m_pSource ? m_pSource->Tables() : std::vector<SSourceTable>();
}

std::vector<std::string> CMergixDoc::ListTables() const
{
    std::vector<std::string> names;
    for (const SSourceTable &table : SourceTables())
        names.push_back(table.strName);
    return names;
}

std::vector<std::string> CMergixDoc::ListFields() const
{
    std::vector<std::string> names;
    for (int i = 0; m_pTable && i < m_pTable->GetFieldCount(); ++i)
        names.push_back(m_pTable->GetFieldInfo(i).m_strName);
    return names;
}

#include "mail/MergeRun.h"

#include "mail/HtmlMessage.h"

#include <algorithm>
#include <ctime>
#include <future>

#include "document/MergixDoc.h"
#include "engine/Progress.h"
#include "engine/ProgressSteps.h"
#include "engine/Prompter.h"
#include "mail/DeliveryWorkers.h"
#include "mail/HtmlMessage.h"
#include "mail/MessageText.h"
#include "mail/MimeBody.h"
#include "mail/RecipientIdentity.h"
#include "mail/RecordList.h"
#include "mail/RunClock.h"
#include "mail/SendThread.h"
#include "mail/SmtpConnection.h"
#include "mail/SmtpSession.h"
#include "mail/TlsContext.h"

#include <QCryptographicHash>

namespace {

// Points a member at a local for as long as the local lives.
template<typename T> class CLent final
{
public:
    CLent(T *&pMember, T &value) : m_pMember(pMember) { m_pMember = &value; }
    ~CLent() { m_pMember = nullptr; }
    CLent(const CLent &) = delete;
    CLent &operator=(const CLent &) = delete;

private:
    T *&m_pMember;
};

constexpr int kRange = 32000;
constexpr size_t kLargeTest = 50;
// How long the run waits for a delivery to end before it lets the window repaint again.
constexpr std::chrono::milliseconds kWaitSlice {100};

} // namespace

std::vector<std::string> CMergeRun::FailedAddresses() const
{
    std::lock_guard lock(g_failedAddressesLock);
    std::vector<std::string> addresses;
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = g_strFailedAddresses.find("\r\n", nStart)) != std::string::npos;
         nStart = nEnd + 2)
        addresses.push_back(g_strFailedAddresses.substr(nStart, nEnd - nStart));
    return addresses;
}

bool CMergeRun::ConfirmCancel(const SInput &input, CProgress &progress) const
{
    return progress.CheckCancel()
        && (!input.bInteractive
            || AskYesNo("Are you sure you want to Cancel?\nNot all messages have been sent."));
}

bool CMergeRun::WaitWhileResponsive(
    const SInput &input, CProgress &progress, const std::function<bool()> &waitStep) const
{
    while (!waitStep()) {
        if (ConfirmCancel(input, progress))
            return false;
    }
    return true;
}

bool CMergeRun::HandOver(CDeliveryWorkers &workers, const SInput &input, CProgress &progress,
    const std::string &strTo, const std::string &strSubject, const std::string &strBody,
    const std::string &strIdentity, const SComposeOptions &options, CRunRecord &record)
{
    const auto roomForOne = [&] {
        workers.Reap();
        if (workers.Count() < std::max<size_t>(m_nDeliveryCeiling, 1))
            return true;
        workers.WaitForAny(kWaitSlice);
        return false;
    };
    if (!WaitWhileResponsive(input, progress, roomForOne))
        return false;

    SSmtpAccount account = input.account;
    account.strServer = input.serverName ? input.serverName() : std::string();
    const std::string strServer = account.nPort > 0 ? Endpoint(account) : account.strServer;
    const auto makeJob = [&] {
        MailParams params {strServer, input.strFrom, strTo, input.strReplyTo, strSubject, strBody,
            static_cast<int>(strBody.size()), &m_bAbandon,
            [&record, strIdentity, strTo](EDelivery eWhat, const std::string &strReply) {
                record.Record(strIdentity, strTo, eWhat, strReply);
            },
            [this, strTo](const std::string &strCopy, const std::string &strReply) {
                AddRefusedCopy(strTo, strCopy, strReply);
            },
            // Recorded as being sent only once the server has taken the recipient, so that a
            // stop before then does not leave it in doubt.
            [&record, strIdentity, strTo] {
                return record.WaitRecorded(record.Record(strIdentity, strTo, EDelivery::Sending));
            },
            options, m_pPace};
        return std::function<void()>([params = std::move(params)]() mutable {
            SendThreadProc(std::make_unique<MailParams>(std::move(params)));
        });
    };
    bool bStarted = workers.Start(makeJob());
    if (!bStarted) {
        // The system has no thread to spare: try once more when the oldest delivery has ended.
        const auto oldestEnded = [&] {
            return workers.WaitForOldest(kWaitSlice);
        };
        if (!WaitWhileResponsive(input, progress, oldestEnded))
            return false;
        workers.Reap();
        bStarted = workers.Start(makeJob());
    }
    if (!bStarted) {
        AddFailedAddress(strTo);
        record.Record(strIdentity, strTo, EDelivery::Failed, "no thread could be started for it");
    } else
        workers.WaitForNewest(m_workerWait); // a slow delivery runs on beside the next ones
    return true;
}

bool CMergeRun::Queue(CSessionDeliveries &deliveries, const SInput &input, CProgress &progress,
    const std::string &strTo, const std::string &strSubject, const std::string &strBody,
    const std::string &strIdentity, const SComposeOptions &options, CRunRecord &record)
{
    // A database field must never be able to add header lines or SMTP commands.
    if (HasLineBreakOrNul(input.strFrom) || HasLineBreakOrNul(strTo)
        || HasLineBreakOrNul(input.strReplyTo) || HasLineBreakOrNul(strSubject)) {
        AddFailedAddress(strTo);
        record.Record(strIdentity, strTo, EDelivery::Failed,
            "not sent: a header text holds a line break or a zero byte");
        return true;
    }
    std::string strError;
    CSessionDeliveries::SMessage message {strTo, strIdentity, ExtractAddress(input.strFrom),
        ExtractAddress(strTo),
        CSmtpConnection::ComposeForServers(input.strFrom, strTo, input.strReplyTo, strSubject,
            strBody, std::time(nullptr), MakeMessageId(input.strFrom), options, strError),
        options.copies};
    if (message.data.strData.empty()) {
        AddFailedAddress(strTo);
        record.Record(strIdentity, strTo, EDelivery::Failed, "not sent: " + strError);
        return true;
    }
    const auto queued = [&] {
        if (deliveries.TryQueue(message) || deliveries.StopReason())
            return true;
        deliveries.WaitForRoom(kWaitSlice);
        return false;
    };
    return WaitWhileResponsive(input, progress, queued);
}

void CMergeRun::WaitForDeliveries(CDeliveryWorkers &workers, CSessionDeliveries *pDeliveries,
    const SInput &input, CProgress &progress, CRunClock &clock, const CSendPace &pace)
{
    // A server may take minutes to confirm a message it filters: after a while the status line
    // says what the run waits for, and a Cancel stops waiting (those messages are in doubt).
    const auto start = std::chrono::steady_clock::now();
    size_t nShown = 0;
    const auto showWaiting = [&](size_t nWaiting) {
        if (ShowBusyServer(progress, clock, pace)) {
            nShown = 0; // said again once the server takes messages
            return;
        }
        if (nWaiting == 0 || nWaiting == nShown
            || std::chrono::steady_clock::now() - start < m_waitShownAfter)
            return;
        nShown = nWaiting;
        progress.SetStatusText(m_strRateStatus
            = "Waiting for the server to confirm " + std::to_string(nWaiting) + " message(s)...");
    };
    while (workers.Count() > 0) {
        workers.WaitForAny(kWaitSlice);
        workers.Reap();
        showWaiting(workers.Count());
        if (!m_bAbandon && ConfirmCancel(input, progress))
            m_bAbandon = true;
    }
    // Messages waiting for another try may wait for seconds: a Cancel gives them up.
    while (pDeliveries && !pDeliveries->WaitUntilDone(kWaitSlice)) {
        showWaiting(pDeliveries->InFlight());
        if (ConfirmCancel(input, progress))
            pDeliveries->Abandon();
    }
}

bool CMergeRun::WaitForTurn(const SInput &input, CProgress &progress, CRunClock &clock,
    size_t nIndex, size_t nCount, CSendPace &pace)
{
    const std::optional<CRunClock::Clock::time_point> due = pace.TakeTurn();
    const int nRate = pace.State().nRatePerMinute;
    if (!ShowBusyServer(progress, clock, pace) && due && nRate > 0) {
        const auto interval
            = std::chrono::duration_cast<CRunClock::Clock::duration>(std::chrono::minutes(1))
            / nRate;
        // When the last message will go, in the user's own time.
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(*due
            + interval * static_cast<long>(nCount > nIndex ? nCount - nIndex - 1 : 0)
            - clock.Now());
        const std::time_t finish = clock.WallNow() + std::max<long>(left.count(), 0);
        // Shown again only when it changes: the command line writes each status as a line.
        const std::string strStatus = "Sending mail... (" + std::to_string(nRate)
            + " a minute; done at about " + FormatTime(finish, "%H:%M") + ")";
        if (strStatus != m_strRateStatus)
            progress.SetStatusText(m_strRateStatus = strStatus);
    }
    if (!due)
        return true;
    return WaitWhileResponsive(input, progress, [&] {
        ShowBusyServer(progress, clock, pace);
        const auto now = clock.Now();
        if (now >= *due)
            return true;
        clock.Sleep(std::min<CRunClock::Clock::duration>(*due - now, kWaitSlice));
        return clock.Now() >= *due;
    });
}

bool CMergeRun::ShowBusyServer(CProgress &progress, CRunClock &clock, const CSendPace &pace)
{
    const CSendPace::SState state = pace.State();
    if (state.nRefusals == m_nRefusalsShown && clock.Now() >= state.retryAt)
        return false;
    m_nRefusalsShown = state.nRefusals;
    const std::string strStatus = "The mail server is busy; sending more slowly ("
        + std::to_string(state.nRatePerMinute) + " a minute) and trying again at "
        + FormatTime(state.retryWallTime, "%H:%M") + "...";
    if (strStatus != m_strRateStatus)
        progress.SetStatusText(m_strRateStatus = strStatus);
    return true;
}

bool CMergeRun::ConfirmSendingAgain(
    const SInput &input, const std::vector<int> &rows, int nToColumn) const
{
    if (!input.completed)
        return true;
    std::vector<std::string> addresses;
    addresses.reserve(rows.size());
    for (const int nRow : rows)
        addresses.emplace_back(MergeCellText(input.pList->CellText(nRow, nToColumn)));
    if (!AllReachedBefore(addresses, *input.completed))
        return true;
    std::string strText
        = "This message was sent to all " + std::to_string(rows.size()) + " recipients";
    std::tm ended {};
    if (::strptime(input.completed->strEnded.c_str(), "%Y-%m-%dT%H:%M:%SZ", &ended)) {
        const std::string strWhen = FormatTime(::timegm(&ended), "%e %B at %H:%M");
        strText += " on " + strWhen.substr(strWhen.find_first_not_of(' '));
    }
    strText += ".";
    if (input.bInteractive)
        return AskYesNoDefaultNo(strText + " Send it again?", CPrompter::EIcon::Question);
    ShowMessage(strText + " Give --again to send it again.", CPrompter::EIcon::Stop);
    return false;
}

std::string CMergeRun::BeginJournal(const SInput &input, const std::vector<int> &rows,
    int nToColumn, std::vector<std::string> &identities, std::vector<EResumeSkip> &skips) const
{
    const CRecordList &list = *input.pList;
    std::vector<std::string> addresses;
    addresses.reserve(rows.size());
    identities.reserve(rows.size());
    for (const int nRow : rows) {
        addresses.emplace_back(MergeCellText(list.CellText(nRow, nToColumn)));
        identities.push_back(RecipientIdentity(addresses.back(), list, nRow));
    }
    skips = MatchEarlierRun(identities, addresses, input.earlier);
    std::set<std::string> done;
    std::set<std::string> leftOut;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (skips[i] == EResumeSkip::Done)
            done.insert(identities[i]);
        else if (skips[i] == EResumeSkip::LeftOut)
            leftOut.insert(identities[i]);
    }
    CSendJournal::SRunInfo info = input.journalRun;
    if (info.strTemplateDigest.empty())
        info.strTemplateDigest = TemplateDigest(input);
    return input.pJournal->BeginRun(info, identities, addresses, done, leftOut);
}

std::string CMergeRun::TemplateDigest(const SInput &input)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string *pText :
        {&input.strFrom, &input.strReplyTo, &input.strSubject, &input.strTemplate}) {
        hash.addData(QByteArray::fromStdString(std::to_string(pText->size()) + ":" + *pText));
    }
    // Merges without copies, attachments or formatting keep the digest earlier runs recorded.
    if (!input.strFormattedBody.empty())
        hash.addData(QByteArray::fromStdString("html "
            + std::to_string(input.strFormattedBody.size()) + ":" + input.strFormattedBody));
    if (!input.extras.IsEmpty()) {
        std::vector<std::string> texts {input.extras.strCc, input.extras.strBcc};
        texts.insert(texts.end(), input.extras.attachments.begin(), input.extras.attachments.end());
        for (const std::string &strText : texts)
            hash.addData(QByteArray::fromStdString(std::to_string(strText.size()) + ":" + strText));
    }
    return hash.result().toHex().toStdString();
}

CMergeRun::SInput CMergeRun::InputOf(const CMergixDoc &doc)
{
    SInput input;
    input.fields = doc.MergeFields();
    input.strToField = doc.m_strToField;
    input.strTemplate = doc.m_strBody;
    input.strFrom = doc.m_strFrom;
    input.strReplyTo = doc.m_strReplyTo;
    input.strSubject = doc.m_strSubject;
    input.extras = doc.m_extras;
    input.strAttachmentFolder = doc.AttachmentFolder();
    input.strFormattedBody = doc.m_strFormattedBody;
    return input;
}

namespace {

constexpr size_t kListedProblems = 20;

std::string Megabytes(unsigned long long nBytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(nBytes) / (1 << 20));
    return text;
}

} // namespace

void CMergeRun::AddRefusedCopy(
    const std::string &strTo, const std::string &strCopy, const std::string &strReply)
{
    std::lock_guard lock(m_copiesLock);
    m_refusedCopies.push_back({strTo, strCopy, strReply});
}

std::vector<CMergeRun::SRefusedCopy> CMergeRun::RefusedCopies() const
{
    std::lock_guard lock(m_copiesLock);
    return m_refusedCopies;
}

std::string CMergeRun::SendSummary(EOutcome outcome, size_t nDelivered, size_t nFailed)
{
    if (outcome != EOutcome::Completed && outcome != EOutcome::Cancelled)
        return {};
    std::string strText = std::to_string(nDelivered)
        + (nDelivered == 1 ? " message sent" : " messages sent")
        + (nFailed > 0 ? "; " + std::to_string(nFailed) + " failed" : std::string()) + ".";
    if (outcome == EOutcome::Cancelled)
        strText = "Stopped: " + strText;
    return strText;
}

std::string CMergeRun::RefusedCopiesText(const std::vector<SRefusedCopy> &copies)
{
    if (copies.empty())
        return {};
    std::string strText = "The server refused these copies (Cc or Bcc); each message still went "
                          "to its other recipients:\r\n";
    std::string strLastTo;
    for (const SRefusedCopy &copy : copies) {
        if (copy.strTo != strLastTo || &copy == &copies.front())
            strText += "\r\n" + copy.strTo + "\r\n";
        strLastTo = copy.strTo;
        strText += "    " + copy.strCopy + ": " + copy.strReply + "\r\n";
    }
    return strText;
}

unsigned long long CMergeRun::ServerSizeLimit(const SInput &input, CProgress &progress) const
{
    SSmtpAccount account = input.account;
    account.strServer = input.serverName ? input.serverName() : std::string();
    std::atomic<bool> bGiveUp {false};
    std::future<unsigned long long> limit = std::async(std::launch::async, [&] {
        CSmtpSession session(account, std::make_shared<const CTlsContext>(account.strExtraCaFile));
        session.m_connectTimeout = input.sessionSettings.connectTimeout;
        session.m_replyTimeout = input.sessionSettings.replyTimeout;
        session.m_pAbandon = &bGiveUp;
        std::string strMessage;
        if (session.Open(strMessage) != CSmtpSession::EOpen::Ready)
            return 0ULL;
        const unsigned long long nLimit = session.SizeLimit();
        session.Quit();
        return nLimit;
    });
    const bool bAnswered = WaitWhileResponsive(
        input, progress, [&] { return limit.wait_for(kWaitSlice) == std::future_status::ready; });
    if (!bAnswered) {
        bGiveUp = true;
        return 0; // the run goes on and each message meets the limit itself
    }
    return limit.get();
}

bool CMergeRun::CheckAttachments(const SInput &input, CProgress &progress,
    const CPersonalParts &parts, const std::vector<int> &rows, int nToColumn,
    CAttachmentFiles &files, std::map<int, std::string> &unsendable,
    unsigned long long &nLargestMessage) const
{
    const CRecordList &list = *input.pList;
    std::map<int, unsigned long long> sizes;
    for (const int nRow : rows) {
        const CPersonalParts::SParts personal = parts.Expand(CRecordListRow(list, nRow));
        // The text and headers, generously: a body merged from the template, quoted-printable.
        unsigned long long nSize = 4096 + 3 * input.strTemplate.size();
        std::string strWhy;
        for (size_t i = 0; i < personal.attachments.size() && strWhy.empty(); ++i) {
            const std::string &strPath = personal.attachments[i];
            const SAttachmentFile &file = files.Inspect(strPath);
            const std::string strFolder = parts.ChosenFolder(i);
            if (!strFolder.empty() && !IsInsideFolder(strPath, strFolder))
                strWhy = strPath + " lies outside " + strFolder + ", the folder its path names";
            else if (!file.strProblem.empty())
                strWhy = strPath + " " + file.strProblem;
            nSize += Base64Size(file.nSize) + 512;
        }
        if (!strWhy.empty())
            unsendable[nRow] = strWhy;
        else
            sizes[nRow] = nSize;
    }
    if (!sizes.empty()) {
        progress.SetStatusText("Asking the server how large a message it takes...");
        if (const unsigned long long nLimit = ServerSizeLimit(input, progress); nLimit > 0) {
            for (const auto &[nRow, nSize] : sizes) {
                if (nSize > nLimit)
                    unsendable[nRow] = "makes a message of about " + Megabytes(nSize) + ", "
                        + Megabytes(nSize - nLimit) + " more than the " + Megabytes(nLimit)
                        + " the server takes";
            }
        }
        for (const auto &[nRow, nSize] : sizes) {
            if (!unsendable.count(nRow))
                nLargestMessage = std::max(nLargestMessage, nSize);
        }
    }
    if (unsendable.empty())
        return true;

    std::string strText = "The attachments of " + std::to_string(unsendable.size()) + " of the "
        + std::to_string(rows.size()) + " selected records cannot be sent:\n";
    size_t nListed = 0;
    for (const int nRow : rows) {
        const auto found = unsendable.find(nRow);
        if (found == unsendable.end() || nListed++ >= kListedProblems)
            continue;
        strText += "\n" + std::string(MergeCellText(list.CellText(nRow, nToColumn))) + ": "
            + found->second;
    }
    if (unsendable.size() > kListedProblems)
        strText += "\n... and " + std::to_string(unsendable.size() - kListedProblems) + " more.";
    const size_t nOthers = rows.size() - unsendable.size();
    if (input.bInteractive)
        return AskYesNo(
            strText + "\n\nSend the message to the other " + std::to_string(nOthers) + " records?",
            CPrompter::EIcon::Question);
    if (input.bSkipUnsendableAttachments) {
        ShowMessage(strText + "\n\nThey are left out; the other " + std::to_string(nOthers)
                + " records are sent.",
            CPrompter::EIcon::Exclamation);
        return true;
    }
    ShowMessage(strText
            + "\n\nNothing was sent. Give --skip-missing-attachments to send to the "
              "other records.",
        CPrompter::EIcon::Stop);
    return false;
}

CMergeRun::EOutcome CMergeRun::Run(const SInput &input, CProgress &progress)
{
    const CRecordList &list = *input.pList;
    const std::vector<int> rows = list.SelectedRows();
    if (rows.empty()) {
        ShowMessage("There were no items selected. Please select some items and then continue "
                    "the e-mail merge.");
        return EOutcome::NothingSelected;
    }
    const int nToColumn = input.fields.FindColumn(input.strToField);
    if (nToColumn < 0) {
        ShowMessage("Please choose the field of the database that contains the e-mail address");
        return EOutcome::NoToField;
    }
    if (input.bTestMode && input.bInteractive && rows.size() > kLargeTest
        && !AskYesNo("If a large number of items is selected and a large amount of text is to be "
                     "displayed, the test results dialog may appear blank. This is because of the "
                     "architecture of Windows -- it cannot be avoided. For testing of your e-mail "
                     "merge, it is reccomended that you only select a few items from your "
                     "database that cover all possibilities.\n\nWould you like to continue with "
                     "the test e-mail merge?"))
        return EOutcome::Declined;

    if (!input.bTestMode && input.pJournal && !ConfirmSendingAgain(input, rows, nToColumn))
        return EOutcome::Declined;
    // Settings that cannot sign or give a valid link stop the run before any message.
    SComposeOptions composeOptions;
    if (!input.bTestMode) {
        std::string strProblem = CheckUnsubscribe(input.unsubscribe, &input.fields);
        if (strProblem.empty() && !input.dkim.IsEmpty())
            composeOptions.pSigner = CDkimSigner::Load(input.dkim, strProblem);
        if (!strProblem.empty()) {
            ShowMessage(strProblem, CPrompter::EIcon::Stop);
            return EOutcome::SettingsRefused;
        }
        composeOptions.bOneClick = !input.unsubscribe.strUrl.empty();
    }
    std::optional<CHtmlMessage> html;
    m_formattedTests.clear();
    m_testImages.clear();
    if (!input.strFormattedBody.empty()) {
        html.emplace(input.strFormattedBody, input.fields, input.strAttachmentFolder);
        composeOptions.images = html->Images();
        m_testImages = html->Images();
        for (const SInlineImage &image : html->Images()) {
            const SAttachmentFile file = InspectAttachment(image.strPath);
            if (!input.bTestMode && !file.strProblem.empty()) {
                ShowMessage("The message shows the picture " + image.strPath + ", which "
                        + file.strProblem + ". Insert it again, or remove it, and try again.",
                    CPrompter::EIcon::Stop);
                return EOutcome::SettingsRefused;
            }
        }
    }

    progress.Create();
    progress.SetBarRange(0, kRange);
    progress.SetBarPos(0);
    progress.SetCaption("Sending mail...");
    {
        std::lock_guard lock(g_failedAddressesLock);
        g_strFailedAddresses.clear();
    }
    {
        std::lock_guard lock(m_copiesLock);
        m_refusedCopies.clear();
    }
    const CPersonalParts parts(
        input.strSubject, input.extras, input.fields, input.strAttachmentFolder);
    CAttachmentFiles attachmentFiles;
    std::map<int, std::string> unsendable; // rows whose attachments cannot go, and why
    unsigned long long nLargestMessage = 0;
    if (!input.bTestMode && !input.extras.attachments.empty()) {
        progress.SetStatusText("Checking the attachments...");
        if (!CheckAttachments(input, progress, parts, rows, nToColumn, attachmentFiles, unsendable,
                nLargestMessage)) {
            progress.DestroyWindow();
            return EOutcome::AttachmentsRefused;
        }
    }
    // Large messages: fewer of them made and in flight at once.
    const size_t nFit = nLargestMessage == 0 ? m_nMaxDeliveries
                                             : static_cast<size_t>(std::max<unsigned long long>(
                                                 m_nMessageBytesInFlight / nLargestMessage, 1));
    m_nDeliveryCeiling = std::min(m_nMaxDeliveries, nFit);
    progress.SetStatusText("Processing IF statements...");
    CProgressSteps steps(progress, kRange, rows.size());
    const std::vector<IfStatement> statements
        = CollectIfStatements(input.strTemplate, input.fields);
    progress.SetStatusText(input.bTestMode ? "Simulating e-mail merge..." : "Sending mail...");
    m_strTestResults.clear();

    m_strStopReason.clear();
    m_failures.clear();
    m_nSkipped = 0;
    m_nDelivered = 0;
    m_bAbandon = false;
    m_strRateStatus.clear();
    m_nRefusalsShown = 0;
    std::vector<std::string> identities;
    std::vector<EResumeSkip> skips(rows.size(), EResumeSkip::None);
    if (!input.bTestMode && input.pJournal) {
        if (std::string strError = BeginJournal(input, rows, nToColumn, identities, skips);
            !strError.empty()) {
            ShowMessage(strError, CPrompter::EIcon::Stop);
            progress.DestroyWindow();
            return EOutcome::JournalFailed;
        }
    }
    CRunRecord record(input.bTestMode ? nullptr : input.pJournal);
    CRunClock &clock = input.pClock ? *input.pClock : CRunClock::System();
    // Outlives the deliveries that keep it.
    CSendPace pace(input.patience, input.nRatePerMinute, clock);
    const CLent lentPace(m_pPace, pace);
    CDeliveryWorkers workers;
    std::unique_ptr<CSessionDeliveries> pDeliveries;
    if (!input.bTestMode && input.account.eSecurity != ESmtpSecurity::None) {
        SSmtpAccount account = input.account;
        account.strServer = input.serverName ? input.serverName() : std::string();
        CSessionDeliveries::SSettings settings = input.sessionSettings;
        settings.nQueueLimit = std::min(settings.nQueueLimit, nFit);
        settings.nConnections = std::min(settings.nConnections, nFit);
        pDeliveries = std::make_unique<CSessionDeliveries>(account, settings, pace,
            [&record](const CSessionDeliveries::SMessage &message, EDelivery eWhat,
                const std::string &strReply) {
                if (eWhat == EDelivery::Failed || eWhat == EDelivery::InDoubt)
                    AddFailedAddress(message.strTo);
                const uint64_t nTicket
                    = record.Record(message.strIdentity, message.strTo, eWhat, strReply);
                // Before the connection sends DATA: nothing goes out without its record.
                return eWhat != EDelivery::Sending || record.WaitRecorded(nTicket);
            });
        pDeliveries->SetCopySink(
            [this](const CSessionDeliveries::SMessage &message, const std::string &strCopy,
                const std::string &strReply) { AddRefusedCopy(message.strTo, strCopy, strReply); });
    }
    size_t nHandedOver = 0;
    size_t nTestMessage = 0;
    const size_t nToSend
        = static_cast<size_t>(std::count(skips.begin(), skips.end(), EResumeSkip::None));
    EOutcome outcome = EOutcome::Completed;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int nRow = rows[i];
        const std::string strIdentity = identities.empty() ? std::string() : identities[i];
        if (skips[i] != EResumeSkip::None) {
            ++m_nSkipped; // delivered by the run this one continues, or in doubt there
            steps.Advance();
            continue;
        }
        const CRecordListRow row(list, nRow);
        const std::string strBody
            = ExpandTemplate(input.strTemplate, statements, input.fields, row);
        const CPersonalParts::SParts personal = parts.Expand(row);
        const std::string strTo(MergeCellText(list.CellText(nRow, nToColumn)));
        if (input.bTestMode) {
            std::string strMessage = std::string(64, '-') + "\r\n";
            strMessage += "To: " + strTo + "\r\n";
            if (parts.SubjectIsMerged())
                strMessage += "Subject: " + personal.strSubject + "\r\n";
            if (!personal.cc.empty())
                strMessage += "Cc: " + JoinAddresses(personal.cc) + "\r\n";
            if (!personal.bcc.empty())
                strMessage += "Bcc: " + JoinAddresses(personal.bcc) + "\r\n";
            for (const std::string &strPath : personal.attachments)
                strMessage += "Attachment: " + strPath + "\r\n";
            if (html && !input.testHtmlOutput && m_formattedTests.size() < kShownFormatted)
                m_formattedTests.push_back({strMessage.substr(66), html->Expand(row)});
            strMessage += strBody + "\r\n\r\n";
            if (html && input.testHtmlOutput
                && !input.testHtmlOutput(nTestMessage++, html->Expand(row))) {
                outcome = EOutcome::OutputFailed;
                break;
            }
            if (!input.testOutput) {
                m_strTestResults += strMessage;
            } else if (!input.testOutput(strMessage)) {
                outcome = EOutcome::OutputFailed;
                break;
            }
        } else if (const auto found = unsendable.find(nRow); found != unsendable.end()) {
            AddFailedAddress(strTo);
            record.Record(strIdentity, strTo, EDelivery::Failed, "not sent: " + found->second);
        } else if (std::any_of(personal.cc.begin(), personal.cc.end(), HasLineBreakOrNul)
            || std::any_of(personal.bcc.begin(), personal.bcc.end(), HasLineBreakOrNul)
            || HasLineBreakOrNul(personal.strSubject)) {
            // A database field must never be able to add header lines or SMTP commands.
            AddFailedAddress(strTo);
            record.Record(strIdentity, strTo, EDelivery::Failed,
                "not sent: a header text holds a line break or a zero byte");
        } else {
            composeOptions.strCc = JoinAddresses(personal.cc);
            composeOptions.copies.clear();
            for (const auto *pList : {&personal.cc, &personal.bcc}) {
                for (const std::string &strCopy : *pList)
                    composeOptions.copies.push_back(ExtractAddress(strCopy));
            }
            composeOptions.attachments.clear();
            for (const std::string &strPath : personal.attachments)
                composeOptions.attachments.push_back(
                    {strPath, attachmentFiles.Inspect(strPath).strContentType});
            if (html)
                composeOptions.strHtml = html->Expand(row);
            if (!input.unsubscribe.IsEmpty())
                composeOptions.strListUnsubscribe = ListUnsubscribeValue(
                    input.unsubscribe, input.fields, CRecordListRow(list, nRow));
            if (!WaitForTurn(input, progress, clock, nHandedOver++, nToSend, pace)
                || (pDeliveries ? !Queue(*pDeliveries, input, progress, strTo, personal.strSubject,
                        strBody, strIdentity, composeOptions, record)
                                : !HandOver(workers, input, progress, strTo, personal.strSubject,
                                    strBody, strIdentity, composeOptions, record))) {
                outcome = EOutcome::Cancelled;
                break;
            }
        }
        if (pDeliveries && pDeliveries->StopReason())
            break;
        // A journal that no longer records could not keep a resume from sending twice.
        if (input.pJournal && input.pJournal->HasRecordingError()) {
            outcome = EOutcome::JournalFailed;
            break;
        }
        if (ConfirmCancel(input, progress)) {
            outcome = EOutcome::Cancelled;
            break;
        }
        steps.Advance();
    }
    // Every message has been handed over: wait for the last deliveries, keeping the window
    // painted.
    WaitForDeliveries(workers, pDeliveries.get(), input, progress, clock, pace);
    m_nPeakDeliveries = pDeliveries ? pDeliveries->PeakConnections() : workers.Peak();
    if (pDeliveries && pDeliveries->StopReason()) {
        m_strStopReason = *pDeliveries->StopReason();
        if (const size_t nDelivered = pDeliveries->Delivered(); nDelivered > 0)
            m_strStopReason += "\n" + std::to_string(nDelivered)
                + " message(s) had been delivered before the run stopped.";
        outcome = EOutcome::ServerRefused;
    }
    m_failures = record.Failures();
    m_nDelivered = record.Delivered();
    if (!input.bTestMode && input.pJournal) {
        input.pJournal->EndRun(outcome == EOutcome::Completed);
        if (const std::string strError = input.pJournal->RecordingError(); !strError.empty())
            ShowMessage(strError + " The send was stopped there.", CPrompter::EIcon::Stop);
    }
    progress.SetBarPos(kRange);

    std::string strFailed;
    {
        std::lock_guard lock(g_failedAddressesLock);
        strFailed = g_strFailedAddresses;
    }
    if (input.bInteractive && outcome == EOutcome::ServerRefused)
        ShowMessage(m_strStopReason, CPrompter::EIcon::Stop);
    const std::string strRefusedCopies = RefusedCopiesText(RefusedCopies());
    if (input.bInteractive && !strFailed.empty()) {
        std::string strText = "There was an error sending one or more messages to the "
                              "following addresses:\r\n\r\n"
            + strFailed;
        if (!strRefusedCopies.empty())
            strText += "\r\n" + strRefusedCopies;
        if (!input.saveFailedList)
            ShowMessage(strText);
        else if (OfferAction(strText, "Save failed list..."))
            input.saveFailedList(m_failures);
    } else if (input.bInteractive && !strRefusedCopies.empty()) {
        ShowMessage(strRefusedCopies);
    }
    progress.DestroyWindow();
    return outcome;
}

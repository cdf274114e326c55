#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document/MessageExtras.h"
#include "engine/MergeTemplate.h"
#include "mail/AttachmentCheck.h"
#include "mail/DeliveryEvent.h"
#include "mail/DkimSigner.h"
#include "mail/PersonalParts.h"
#include "mail/ResumeMatch.h"
#include "mail/RunRecord.h"
#include "mail/SendJournal.h"
#include "mail/SendPace.h"
#include "mail/SessionDeliveries.h"
#include "mail/SmtpAccount.h"
#include "mail/Unsubscribe.h"

class CDeliveryWorkers;
class CMergixDoc;
class CProgress;
class CRecordList;
class CRunClock;

// The merge run: one message per selected row of the record list, from the top down, either
// collected as text (test mode) or delivered, each on a worker thread of its own (send mode).
class CMergeRun final
{
public:
    struct SInput
    {
        const CRecordList *pList = nullptr;
        CMergeFields fields;
        std::string strToField; // the field that holds the addresses
        std::string strTemplate; // the body, CR LF line breaks
        std::string strFrom;
        std::string strReplyTo;
        std::string strSubject; // merged per record when it holds field tags or blocks
        // Cc, Bcc and attachment paths, merged per record; relative paths are taken from the
        // folder (ending in "/"; empty for the working folder).
        SMessageExtras extras;
        std::string strAttachmentFolder;
        // The formatted body (the editor's HTML), sent as the text's twin; none when empty. Its
        // pictures' relative paths are taken from the attachment folder.
        std::string strFormattedBody;
        // Without windows: records whose attachments cannot be sent are left out and the others
        // sent, instead of the run being refused.
        bool bSkipUnsendableAttachments = false;
        std::function<std::string()> serverName; // read anew for every message
        // Security, port and login (its server is serverName's). With STARTTLS or TLS the
        // messages go over a few reused connections instead of one connection each.
        SSmtpAccount account;
        CSessionDeliveries::SSettings sessionSettings;
        // A send run records every recipient here, when set, and leaves out those the run it
        // continues delivered, or left in doubt.
        CSendJournal *pJournal = nullptr;
        CSendJournal::SRunInfo journalRun;
        SEarlierRun earlier;
        // The last run, when it reached everyone with this very message: sending it to the same
        // recipients again needs a Yes (is refused without windows).
        std::optional<SCompletedSend> completed;
        // At most this many messages a minute, 0 for no limit; the clock it is kept by (the
        // system's when none is given).
        int nRatePerMinute = 0;
        CRunClock *pClock = nullptr;
        // How long a message the server refuses for now is tried again, in either mode.
        CSendPace::SPatience patience;
        // When set, the closing list of failed addresses offers "Save failed list...", which
        // hands the failures here.
        std::function<void(const std::vector<CRunRecord::SFailure> &)> saveFailedList;
        // Each message's List-Unsubscribe, and its DKIM signature when settings are given.
        SUnsubscribeSettings unsubscribe;
        SDkimSettings dkim;
        bool bTestMode = false;
        // With windows the run asks before a large test, confirms Cancel and shows the failed
        // addresses; without, it asks nothing and leaves the reporting to its caller.
        bool bInteractive = true;
        // When set, each test message is handed here as soon as it is made instead of being
        // collected in TestResults(); false from it stops the run (the output is lost).
        std::function<bool(std::string_view)> testOutput;
        // When set, a test run of a formatted merge hands each message's HTML here too, with
        // its place in the run (from 0); false from it stops the run.
        std::function<bool(size_t, const std::string &)> testHtmlOutput;
    };

    enum class EOutcome {
        NothingSelected, // the message was shown; the dialog stays open
        Declined, // No to the large-test question
        NoToField, // the To field names no column; nothing was sent
        Completed,
        Cancelled, // Cancel confirmed; deliveries already started were still waited for
        OutputFailed, // the test output could not be written; the run stopped there
        ServerRefused, // the server could not be used at all (StopReason says why)
        JournalFailed, // the send journal could not record the run; nothing was sent
        SettingsRefused, // the signing or unsubscribe settings cannot be used (shown); none sent
        AttachmentsRefused, // some records' attachments cannot be sent and the user said No
    };

    // A Cc or Bcc address the server refused in a message it took for the To address.
    struct SRefusedCopy
    {
        std::string strTo; // the record's To text
        std::string strCopy;
        std::string strReply;
    };

    // The settings a merge file stores (fields, To field, body, From, Reply-To, Subject), for a
    // run without windows; the list and the server are the caller's.
    static SInput InputOf(const CMergixDoc &doc);
    // A digest of what every message of a run is made from: sender, Reply-To, subject, body.
    static std::string TemplateDigest(const SInput &input);

    EOutcome Run(const SInput &input, CProgress &progress);

    const std::string &TestResults() const { return m_strTestResults; }
    // Hands the results over without a copy: a test of many records makes a long text.
    std::string TakeTestResults() { return std::exchange(m_strTestResults, {}); }

    // A test run of a formatted merge that hands its HTML to no testHtmlOutput keeps the first
    // kShownFormatted messages' header lines and HTML here, for a window to show them
    // formatted, and the pictures they show.
    struct STestMessage
    {
        std::string strHeader; // "To: ..." and the other merged header lines, CR LF
        std::string strHtml;
    };
    static constexpr size_t kShownFormatted = 200;
    std::vector<STestMessage> TakeFormattedTests() { return std::exchange(m_formattedTests, {}); }
    const std::vector<SInlineImage> &TestImages() const { return m_testImages; }
    // The failed addresses of the last run, in the order the deliveries failed.
    std::vector<std::string> FailedAddresses() const;

    // The most deliveries that were in flight at the same time in the last run.
    size_t PeakDeliveries() const { return m_nPeakDeliveries; }
    // Why the last run could not use the server, when it could not.
    const std::string &StopReason() const { return m_strStopReason; }
    // The failed recipients of the last send run, with the server's replies.
    std::vector<CRunRecord::SFailure> Failures() const { return m_failures; }
    // Recipients of the last run left out because an earlier run had delivered to them.
    size_t Skipped() const { return m_nSkipped; }
    // Messages the server accepted in the last send run.
    size_t Delivered() const { return m_nDelivered; }
    // The copies the server refused in the last send run.
    std::vector<SRefusedCopy> RefusedCopies() const;
    // The closing list's text for them; empty when there were none.
    static std::string RefusedCopiesText(const std::vector<SRefusedCopy> &copies);
    // What a send run that ended or was stopped did, for the status line: "12 messages sent.";
    // empty for a run that sent nothing because it never started.
    static std::string SendSummary(EOutcome outcome, size_t nDelivered, size_t nFailed);

    // How long the run waits for one worker before it goes on with the next message.
    std::chrono::milliseconds m_workerWait {1000};
    // How many deliveries may be in flight at once: a server that answers slowly makes the run
    // wait for one to end rather than pile up threads.
    size_t m_nMaxDeliveries = 64;
    // How many bytes of made messages a run may hold at once: large attachments lower the
    // number of deliveries in flight so that memory stays flat however long the list.
    unsigned long long m_nMessageBytesInFlight = 64ULL << 20;
    // How long the last deliveries are waited for before the status line says so.
    std::chrono::milliseconds m_waitShownAfter {5000};

private:
    bool ConfirmCancel(const SInput &input, CProgress &progress) const;
    // Waits, keeping the progress window alive, until the condition holds; false when the user
    // cancelled the run meanwhile.
    bool WaitWhileResponsive(
        const SInput &input, CProgress &progress, const std::function<bool()> &waitStep) const;

    // Starts the delivery of one message once fewer than the ceiling are in flight; false when
    // the user cancelled while the run waited (the message is then not sent).
    bool HandOver(CDeliveryWorkers &workers, const SInput &input, CProgress &progress,
        const std::string &strTo, const std::string &strSubject, const std::string &strBody,
        const std::string &strIdentity, const SComposeOptions &options, CRunRecord &record);
    // The same for a run over reused connections.
    bool Queue(CSessionDeliveries &deliveries, const SInput &input, CProgress &progress,
        const std::string &strTo, const std::string &strSubject, const std::string &strBody,
        const std::string &strIdentity, const SComposeOptions &options, CRunRecord &record);
    // Looks at every selected record's attachments before anything is sent: the rows whose
    // files cannot be sent, each with what is wrong, and the largest message. Asks (or, without
    // windows, says) whether to send to the others; false when the run must not go on.
    bool CheckAttachments(const SInput &input, CProgress &progress, const CPersonalParts &parts,
        const std::vector<int> &rows, int nToColumn, CAttachmentFiles &files,
        std::map<int, std::string> &unsendable, unsigned long long &nLargestMessage) const;
    // The largest message the server takes (SIZE), asked on a connection of its own while the
    // window stays responsive; 0 when it sets none or cannot be asked.
    unsigned long long ServerSizeLimit(const SInput &input, CProgress &progress) const;
    void AddRefusedCopy(
        const std::string &strTo, const std::string &strCopy, const std::string &strReply);
    // Keeps the pace: waits, responsive, until the message of that index may go; false when
    // the user cancelled meanwhile.
    bool WaitForTurn(const SInput &input, CProgress &progress, CRunClock &clock, size_t nIndex,
        size_t nCount, CSendPace &pace);
    // Says on the status line that the server is busy, after each refusal and until the time
    // of the next try; false when there is nothing to say.
    bool ShowBusyServer(CProgress &progress, CRunClock &clock, const CSendPace &pace);
    // When the run would send the message of input.completed to recipients who all had it
    // from there: asks (without windows: says so) and returns false unless told to go ahead.
    bool ConfirmSendingAgain(
        const SInput &input, const std::vector<int> &rows, int nToColumn) const;
    // Records the run's recipients in the journal, with what the run it continues did for
    // each (skips, in row order); an error message, or empty.
    std::string BeginJournal(const SInput &input, const std::vector<int> &rows, int nToColumn,
        std::vector<std::string> &identities, std::vector<EResumeSkip> &skips) const;
    // Waits for every delivery to end; a Cancel confirmed meanwhile drops the retries left.
    void WaitForDeliveries(CDeliveryWorkers &workers, CSessionDeliveries *pDeliveries,
        const SInput &input, CProgress &progress, CRunClock &clock, const CSendPace &pace);

    std::string m_strTestResults;
    std::vector<STestMessage> m_formattedTests;
    std::vector<SInlineImage> m_testImages;
    CSendPace *m_pPace = nullptr; // the running run's, for its delivery workers
    size_t m_nPeakDeliveries = 0;
    size_t m_nDeliveryCeiling = 64; // the running run's: m_nMaxDeliveries or fewer
    std::string m_strStopReason;
    std::vector<CRunRecord::SFailure> m_failures;
    size_t m_nSkipped = 0;
    size_t m_nDelivered = 0;
    std::string m_strRateStatus; // the rate line last shown
    size_t m_nRefusalsShown = 0; // the server's refusals the status line has told of
    // Set by a Cancel while the run waits for the server's word: those waits end, in doubt.
    std::atomic<bool> m_bAbandon {false};
    mutable std::mutex m_copiesLock;
    std::vector<SRefusedCopy> m_refusedCopies;
};

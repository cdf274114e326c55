#include "mail/MergeRun.h"

#include <future>
#include <system_error>
#include <thread>

#include "app/Prompter.h"
#include "mail/Progress.h"
#include "mail/RecordList.h"
#include "mail/SmtpConnection.h"

std::string g_strFailedAddresses;
std::mutex g_failedAddressesLock;

namespace {

constexpr int kRange = 32000;
constexpr size_t kLargeTest = 50;

void AddFailedAddress(const std::string &strTo)
{
    std::lock_guard lock(g_failedAddressesLock);
    g_strFailedAddresses += strTo + "\r\n";
}

} // namespace

unsigned SendThreadProc(std::unique_ptr<MailParams> pParams)
{
    CSmtpConnection connection(pParams->szServer, pParams->szFrom, pParams->szTo,
        pParams->szReplyTo, pParams->szSubject, pParams->pszBody);
    if (!connection.Deliver())
        AddFailedAddress(pParams->szTo);
    return 0;
}

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

    progress.Create();
    progress.SetBarRange(0, kRange);
    progress.SetBarPos(0);
    progress.SetCaption("Sending mail...");
    {
        std::lock_guard lock(g_failedAddressesLock);
        g_strFailedAddresses.clear();
    }
    progress.SetStatusText("Processing IF statements...");
    progress.SetBarStep(kRange / static_cast<int>(std::min<size_t>(rows.size(), INT32_MAX)));
    const std::vector<IfStatement> statements
        = CollectIfStatements(input.strTemplate, input.fields);
    progress.SetStatusText(input.bTestMode ? "Simulating e-mail merge..." : "Sending mail...");
    m_strTestResults.clear();

    std::vector<std::thread> workers;
    EOutcome outcome = EOutcome::Completed;
    for (const int nRow : rows) {
        const std::string strBody = ExpandTemplate(
            input.strTemplate, statements, input.fields, CRecordListRow(list, nRow));
        const std::string strTo(MergeCellText(list.CellText(nRow, nToColumn)));
        if (input.bTestMode) {
            m_strTestResults += std::string(64, '-') + "\r\n";
            m_strTestResults += "To: " + strTo + "\r\n";
            m_strTestResults += strBody + "\r\n\r\n";
        } else {
            auto pParams = std::make_unique<MailParams>(MailParams {
                input.serverName ? input.serverName() : std::string(), input.strFrom, strTo,
                input.strReplyTo, input.strSubject, strBody, static_cast<int>(strBody.size())});
            try {
                std::packaged_task<unsigned(std::unique_ptr<MailParams>)> task(SendThreadProc);
                std::future<unsigned> done = task.get_future();
                workers.emplace_back(std::move(task), std::move(pParams));
                done.wait_for(m_workerWait); // a slow delivery runs on beside the next ones
            } catch (const std::system_error &) {
                AddFailedAddress(strTo); // no thread could be started for it
            }
        }
        if (progress.CheckCancel()
            && (!input.bInteractive
                || AskYesNo(
                    "Are you sure you want to Cancel?\nNot all messages have been sent."))) {
            outcome = EOutcome::Cancelled;
            break;
        }
        progress.StepBar();
    }
    for (std::thread &worker : workers)
        worker.join();
    progress.SetBarPos(kRange);

    std::string strFailed;
    {
        std::lock_guard lock(g_failedAddressesLock);
        strFailed = g_strFailedAddresses;
    }
    if (input.bInteractive && !strFailed.empty())
        ShowMessage("There was an error sending one or more messages to the following "
                    "addresses:\r\n\r\n"
            + strFailed);
    progress.DestroyWindow();
    return outcome;
}

#include "mail/SendPlan.h"

#include <algorithm>

#include "engine/PrintableText.h"
#include "engine/Prompter.h"
#include "mail/SendJournal.h"

namespace {

std::string InDoubtList(const CSendJournal::SLastRun &run)
{
    std::string strList;
    for (const CSendJournal::SRecipient &recipient : run.inDoubt)
        strList += "\n    " + PrintableText(recipient.strAddress);
    return strList;
}

// What the last run did: one that went through its whole list reached some recipients and
// not others; one that ended early stopped.
std::string LastRunText(const CSendJournal::SLastRun &run)
{
    const auto count = [](size_t nCount, const char *pOne, const char *pMany) {
        return std::to_string(nCount) + (nCount == 1 ? pOne : pMany);
    };
    if (!run.bFinished)
        return "The last send of this merge stopped after " + std::to_string(run.nDone) + " of "
            + std::to_string(run.nTotal) + " messages.";
    std::string strText = "The last send of this merge reached " + std::to_string(run.nDone)
        + " of " + std::to_string(run.nTotal) + " recipients";
    if (run.nFailed > 0)
        strText += "; " + count(run.nFailed, " was refused", " were refused");
    if (!run.inDoubt.empty())
        strText += "; " + std::to_string(run.inDoubt.size()) + " may or may not have received it";
    return strText + ".";
}

} // namespace

std::optional<SSendPlan> PlanSend(CSendJournal &journal, const std::string &strPath,
    EResumeChoice eChoice, bool bIncludeInDoubt, std::string &strMessage,
    const std::string &strDigest, bool bChangedMessage)
{
    const bool bAsk = eChoice == EResumeChoice::Ask;
    SSendPlan plan;
    std::string strNote; // for the command line: what was done without asking
    strMessage = journal.Open(strPath);
    if (!strMessage.empty() && journal.IsDamaged()) {
        const std::string strAside = journal.Path() + ".damaged";
        if (bAsk ? AskYesNo(strMessage + "\n\nStart a fresh journal? The damaged one is kept as \""
                + PrintableText(strAside) + "\".")
                 : eChoice == EResumeChoice::Again) {
            strMessage = journal.StartFresh();
            if (strMessage.empty() && !bAsk)
                strNote = "The damaged send journal was kept as \"" + PrintableText(strAside)
                    + "\"; a fresh one was started.";
        } else if (!bAsk) {
            strMessage += " Give --again to keep it aside as \"" + PrintableText(strAside)
                + "\" and start a fresh journal, or --no-journal.";
            return std::nullopt;
        } else {
            strMessage.clear();
            return std::nullopt;
        }
    }
    if (!strMessage.empty()) {
        if (!bAsk) {
            strMessage += " Give --no-journal to send without one.";
            return std::nullopt;
        }
        if (!AskYesNo(strMessage
                + "\n\nSend without a journal? A send that stops half way then cannot be "
                  "continued without sending the first part again.")) {
            strMessage.clear();
            return std::nullopt;
        }
        strMessage.clear();
        return plan;
    }
    plan.bJournal = true;
    strMessage = strNote;
    const std::optional<CSendJournal::SLastRun> last = journal.LastRun();
    // A resume with nothing to continue would send to everyone, which is what it is to prevent.
    if (!last && eChoice == EResumeChoice::Resume) {
        strMessage = "There is no earlier send of this merge to continue: its send journal \""
            + PrintableText(journal.Path())
            + "\" records none. Leave out --resume to send to every selected recipient.";
        return std::nullopt;
    }
    // A resume of a run that reached everyone sends nothing again, rather than everything.
    if (!last || (last->IsComplete() && eChoice != EResumeChoice::Resume)) {
        if (last && eChoice != EResumeChoice::Again && !strDigest.empty()
            && last->strTemplateDigest == strDigest)
            plan.completed = SCompletedSend {journal.DoneAddresses(last->nRun), last->strEnded};
        return plan;
    }
    // A run that reached nobody (the server could not be used) leaves nothing to protect.
    if (last->nDone == 0 && last->inDoubt.empty())
        return plan;

    const std::string strDone = std::to_string(last->nDone);
    // Those in doubt are left out unless the user includes them, so they are not counted here.
    const std::string strLeft
        = std::to_string(last->nTotal - std::min(last->nTotal, last->nDone + last->inDoubt.size()));
    const std::string strLast = LastRunText(*last);
    if (eChoice == EResumeChoice::Ask) {
        const CPrompter::EAnswer answer
            = AskYesNoCancel(strLast + " Send only the remaining " + strLeft + "?");
        if (answer == CPrompter::EAnswer::Cancel)
            return std::nullopt;
        if (answer == CPrompter::EAnswer::No) {
            if (!AskYesNo("Send the message again to all the selected recipients, also to the "
                    + strDone + " who have already received it?"))
                return std::nullopt;
            return plan;
        }
        if (!last->inDoubt.empty())
            bIncludeInDoubt
                = AskYesNo("The last send stopped while " + std::to_string(last->inDoubt.size())
                    + " message(s) were with the server, so these recipients may or may not have "
                      "received them:"
                    + InDoubtList(*last) + "\n\nSend to them again too? (No leaves them out.)");
    } else if (eChoice == EResumeChoice::Again) {
        return plan;
    } else if (eChoice == EResumeChoice::Refuse) {
        strMessage = strLast + " Give --resume to send only the remaining " + strLeft
            + ", or --again to send to every selected recipient again.";
        return std::nullopt;
    } else if (!last->inDoubt.empty() && !bIncludeInDoubt) {
        strMessage = "The last send stopped while these recipients' messages were with the "
                     "server; they may or may not have received them, so they are left out "
                     "(give --include-in-doubt to send to them too):"
            + InDoubtList(*last);
    }
    // The rest would get another message than those the last run reached.
    if (!strDigest.empty() && !last->strTemplateDigest.empty()
        && last->strTemplateDigest != strDigest && last->nDone > 0 && last->nDone < last->nTotal) {
        const std::string strChanged = "The message was changed since the last send of this "
                                       "merge, which reached "
            + strDone + " recipient(s) with the message as it was then.";
        if (bAsk) {
            if (!AskYesNo(
                    strChanged + " Send the changed message to the remaining " + strLeft + "?"))
                return std::nullopt;
        } else if (!bChangedMessage) {
            strMessage = strChanged
                + " Give --resume --changed-message to send the changed message to the "
                  "remaining "
                + strLeft + ", or --again to send it to every selected recipient.";
            return std::nullopt;
        }
    }
    plan.resumes = last->nRun;
    plan.earlier.doneIdentities = journal.DoneIdentities(last->nRun);
    plan.earlier.doneAddresses = journal.DoneAddresses(last->nRun);
    if (!bIncludeInDoubt) {
        for (const CSendJournal::SRecipient &recipient : last->inDoubt) {
            plan.earlier.leftOutIdentities.insert(recipient.strIdentity);
            ++plan.earlier.leftOutAddresses[ResumeAddressKey(recipient.strAddress)];
        }
    }
    return plan;
}

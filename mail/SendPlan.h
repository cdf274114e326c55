#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "mail/ResumeMatch.h"

class CSendJournal;

// What a send leaves out, decided from the merge's journal before it starts.
struct SSendPlan
{
    bool bJournal = false; // false: sent without a journal, as the user agreed
    SEarlierRun earlier; // what the run being continued reached, or left in doubt
    // The last run, when it reached everyone with the very same message: sending it to the same
    // recipients again is asked about (refused without windows).
    std::optional<SCompletedSend> completed;
    std::optional<int64_t> resumes;
};

// How to treat a last run that did not deliver to everyone.
enum class EResumeChoice {
    Ask, // the windows: ask the user
    Refuse, // the command line without a choice: say how to choose, and stop
    Resume, // send only to those the last run has not reached (none when it reached all)
    Again, // send to everyone again
};

// Opens the journal at the path and decides what to send. With Ask, every question goes
// through the prompter: a damaged journal may be set aside for a fresh one, one that cannot
// be written may be done without, an unfinished run may be continued or sent again, and the
// recipients in doubt are left out unless the user includes them. Without Ask there is no
// question: a damaged journal is set aside only for Again, a journal that cannot be written
// and an unfinished run without a choice stop with their message. Nothing when the send is
// not to go ahead; strMessage then says why when no question did.
// strDigest is the message's digest (CMergeRun::TemplateDigest): a resume of a run that sent
// another message is asked about, and refused without windows unless bChangedMessage allows it.
std::optional<SSendPlan> PlanSend(CSendJournal &journal, const std::string &strPath,
    EResumeChoice eChoice, bool bIncludeInDoubt, std::string &strMessage,
    const std::string &strDigest = {}, bool bChangedMessage = false);

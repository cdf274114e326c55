#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

class CRecordList;

// What an earlier run that a send continues did for each of its recipients.
enum class EResumeSkip : char {
    None, // to be sent
    Done, // delivered by the earlier run
    LeftOut, // in doubt there, and not to be sent again
};

// What the earlier run reached: the recipients' identities, and how many deliveries went to each
// address (by ResumeAddressKey).
struct SEarlierRun
{
    std::set<std::string> doneIdentities;
    std::map<std::string, size_t> doneAddresses;
    std::set<std::string> leftOutIdentities;
    std::map<std::string, size_t> leftOutAddresses;

    bool IsEmpty() const { return doneAddresses.empty() && leftOutAddresses.empty(); }
};

// A run that reached every one of its recipients with the message a send is about to send.
struct SCompletedSend
{
    std::map<std::string, size_t> addresses; // deliveries to each address (by ResumeAddressKey)
    std::string strEnded; // UTC, as the journal keeps it
};

// Whether every one of the recipients (To texts) already had the message from that run.
bool AllReachedBefore(const std::vector<std::string> &addresses, const SCompletedSend &completed);

// An address as the earlier run is matched by: the mailbox alone, its ASCII letters in one case.
std::string ResumeAddressKey(const std::string &strTo);

// Decides for each recipient (identity and To text, in row order) what the earlier run did. A
// recipient whose identity matches is decided by it. Then the addresses decide: the cells that
// make an identity may have been edited, or shown in another locale, since the earlier run, but
// whom the message went to has not changed. Each earlier delivery to an address accounts for
// one recipient of that address, so a list where two records share an address still reaches
// the one the earlier run did not.
std::vector<EResumeSkip> MatchEarlierRun(const std::vector<std::string> &identities,
    const std::vector<std::string> &addresses, const SEarlierRun &earlier);

// The rows of the list, from the top down, that the earlier run has neither reached nor left in
// doubt: what a resume sends when every row is selected.
std::vector<int> RowsToResume(const CRecordList &list, int nToColumn, const SEarlierRun &earlier);

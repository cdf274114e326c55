#include "mail/ResumeMatch.h"

#include "engine/AsciiCase.h"
#include "mail/MessageText.h"
#include "mail/RecipientIdentity.h"
#include "mail/RecordList.h"

std::string ResumeAddressKey(const std::string &strTo)
{
    std::string strKey = ExtractAddress(strTo);
    UpperCaseAscii(strKey);
    return strKey;
}

bool AllReachedBefore(const std::vector<std::string> &addresses, const SCompletedSend &completed)
{
    std::map<std::string, size_t> left = completed.addresses;
    for (const std::string &strTo : addresses) {
        const auto found = left.find(ResumeAddressKey(strTo));
        if (found == left.end() || found->second == 0)
            return false;
        --found->second;
    }
    return !addresses.empty();
}

std::vector<EResumeSkip> MatchEarlierRun(const std::vector<std::string> &identities,
    const std::vector<std::string> &addresses, const SEarlierRun &earlier)
{
    std::vector<EResumeSkip> skips(identities.size(), EResumeSkip::None);
    std::map<std::string, size_t> done = earlier.doneAddresses;
    std::map<std::string, size_t> leftOut = earlier.leftOutAddresses;
    std::vector<std::string> keys;
    keys.reserve(addresses.size());
    for (const std::string &strTo : addresses)
        keys.push_back(ResumeAddressKey(strTo));
    const auto take = [](std::map<std::string, size_t> &counts, const std::string &strKey) {
        const auto found = counts.find(strKey);
        if (found == counts.end() || found->second == 0)
            return false;
        --found->second;
        return true;
    };
    for (size_t i = 0; i < identities.size(); ++i) {
        if (earlier.doneIdentities.count(identities[i])) {
            skips[i] = EResumeSkip::Done;
            take(done, keys[i]);
        } else if (earlier.leftOutIdentities.count(identities[i])) {
            skips[i] = EResumeSkip::LeftOut;
            take(leftOut, keys[i]);
        }
    }
    for (size_t i = 0; i < identities.size(); ++i) {
        if (skips[i] != EResumeSkip::None)
            continue;
        if (take(done, keys[i]))
            skips[i] = EResumeSkip::Done;
        else if (take(leftOut, keys[i]))
            skips[i] = EResumeSkip::LeftOut;
    }
    return skips;
}

std::vector<int> RowsToResume(const CRecordList &list, int nToColumn, const SEarlierRun &earlier)
{
    std::vector<std::string> identities;
    std::vector<std::string> addresses;
    identities.reserve(static_cast<size_t>(list.RowCount()));
    addresses.reserve(static_cast<size_t>(list.RowCount()));
    for (int nRow = 0; nRow < list.RowCount(); ++nRow) {
        addresses.emplace_back(MergeCellText(list.CellText(nRow, nToColumn)));
        identities.push_back(RecipientIdentity(addresses.back(), list, nRow));
    }
    const std::vector<EResumeSkip> skips = MatchEarlierRun(identities, addresses, earlier);
    std::vector<int> rows;
    for (int nRow = 0; nRow < list.RowCount(); ++nRow) {
        if (skips[static_cast<size_t>(nRow)] == EResumeSkip::None)
            rows.push_back(nRow);
    }
    return rows;
}

#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "mail/DeliveryEvent.h"

class CSendJournal;

// What became of each recipient of a send run: the states in the send journal (when there is
// one), and the failures with the server's last reply, for the closing box and the CSV list.
// Used from the delivery threads.
class CRunRecord final
{
public:
    struct SFailure
    {
        std::string strAddress;
        std::string strReply;
        std::string strTime; // local time, "2026-12-08 14:05:09"
    };

    explicit CRunRecord(CSendJournal *pJournal) : m_pJournal(pJournal) { }

    // Records a step of a delivery. An outcome is committed before this returns; that the
    // message is being sent is only posted, and the ticket is for WaitRecorded: it must be
    // committed before the data goes out, so that a run killed then finds it in doubt rather
    // than not sent.
    uint64_t Record(const std::string &strIdentity, const std::string &strTo, EDelivery eWhat,
        const std::string &strReply = {});
    // False when the journal could not record it: the message must then not go out.
    bool WaitRecorded(uint64_t nTicket) const;

    std::vector<SFailure> Failures() const;
    size_t Delivered() const;

private:
    CSendJournal *m_pJournal;
    mutable std::mutex m_lock;
    std::vector<SFailure> m_failures;
    size_t m_nDelivered = 0;
};

// Writes the failures as CSV (a header, then address, reply, time; RFC 4180 quoting). A field
// that a spreadsheet would run as a formula gets a leading apostrophe. Empty on success, else
// the message for the user.
std::string WriteFailuresCsv(
    const std::string &strPath, const std::vector<CRunRecord::SFailure> &failures);
// Whether WriteFailuresCsv could write there, asked before a send so that a bad path is not
// found only after every message went out. Empty when it can, else the message for the user.
// Leaves an existing file as it is and no new one behind.
std::string CheckFailuresCsvPath(const std::string &strPath);

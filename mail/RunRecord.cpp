#include "mail/RunRecord.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/PrintableText.h"
#include "mail/MessageText.h"
#include "mail/SendJournal.h"

namespace {

std::string LocalNow()
{
    return FormatTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S");
}

std::string CsvField(const std::string &strText)
{
    std::string strField = strText;
    if (!strField.empty() && std::strchr("=+-@\t\r", strField.front()))
        strField.insert(0, 1, '\'');
    if (strField.find_first_of(",\"\r\n") == std::string::npos)
        return strField;
    std::string strQuoted = "\"";
    for (const char c : strField)
        strQuoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return strQuoted + "\"";
}

} // namespace

uint64_t CRunRecord::Record(const std::string &strIdentity, const std::string &strTo,
    EDelivery eWhat, const std::string &strReply)
{
    using EState = CSendJournal::EState;
    uint64_t nTicket = 0;
    if (m_pJournal) {
        const EState eState = eWhat == EDelivery::Sending ? EState::Sending
            : eWhat == EDelivery::Deferred                ? EState::Queued
            : eWhat == EDelivery::Sent                    ? EState::Sent
            : eWhat == EDelivery::Failed                  ? EState::Failed
                                                          : EState::InDoubt;
        nTicket = m_pJournal->Post(strIdentity, eState, strReply);
        // An outcome is committed before the delivery ends: a stop right after it must not
        // leave a recipient the server took in doubt. The caller waits for "sending" itself.
        if (eWhat != EDelivery::Sending)
            m_pJournal->WaitCommitted(nTicket);
    }
    std::lock_guard lock(m_lock);
    if (eWhat == EDelivery::Sent)
        ++m_nDelivered;
    else if (eWhat == EDelivery::Failed || eWhat == EDelivery::InDoubt)
        m_failures.push_back({strTo, strReply, LocalNow()});
    return nTicket;
}

bool CRunRecord::WaitRecorded(uint64_t nTicket) const
{
    return !m_pJournal || m_pJournal->WaitCommitted(nTicket);
}

std::vector<CRunRecord::SFailure> CRunRecord::Failures() const
{
    std::lock_guard lock(m_lock);
    return m_failures;
}

size_t CRunRecord::Delivered() const
{
    std::lock_guard lock(m_lock);
    return m_nDelivered;
}

std::string WriteFailuresCsv(
    const std::string &strPath, const std::vector<CRunRecord::SFailure> &failures)
{
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    if (out) {
        out << "address,reply,time\r\n";
        for (const CRunRecord::SFailure &failure : failures)
            out << CsvField(failure.strAddress) << ',' << CsvField(failure.strReply) << ','
                << CsvField(failure.strTime) << "\r\n";
        out.flush();
    }
    if (out)
        return {};
    return "The list of failed recipients could not be written to \"" + PrintableText(strPath)
        + "\": " + std::strerror(errno) + ".";
}

std::string CheckFailuresCsvPath(const std::string &strPath)
{
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    int nError = fd >= 0 ? 0 : errno;
    if (fd >= 0) {
        ::close(fd);
        ::unlink(strPath.c_str());
    } else if (nError == EEXIST) {
        // Only a writable regular file may be replaced by the list.
        struct stat status
        { };
        if (::stat(strPath.c_str(), &status) != 0)
            nError = errno;
        else if (S_ISDIR(status.st_mode))
            nError = EISDIR;
        else if (::access(strPath.c_str(), W_OK) != 0)
            nError = errno;
        else
            nError = 0;
    }
    if (nError == 0)
        return {};
    return "The list of failed recipients could not be written to \"" + PrintableText(strPath)
        + "\": " + std::strerror(nError) + ". Nothing was sent.";
}

#include "mail/SendThread.h"

#include <cctype>
#include <optional>

#include "mail/SendPace.h"
#include "mail/SmtpConnection.h"

std::string g_strFailedAddresses;
std::mutex g_failedAddressesLock;

namespace {

// A reply with a 4xx code: the server refuses for now.
bool IsTemporaryRefusal(const std::string &strReply)
{
    return strReply.size() >= 3 && strReply[0] == '4'
        && std::isdigit(static_cast<unsigned char>(strReply[1]))
        && std::isdigit(static_cast<unsigned char>(strReply[2]));
}

} // namespace

void AddFailedAddress(const std::string &strTo)
{
    std::lock_guard lock(g_failedAddressesLock);
    g_strFailedAddresses += strTo + "\r\n";
}

unsigned SendThreadProc(std::unique_ptr<MailParams> pParams)
{
    CSendPace *pPace = pParams->pPace;
    for (int nTries = 1;; ++nTries) {
        const auto turn = pPace ? pPace->Now() : CSendPace::Clock::time_point();
        CSmtpConnection connection(pParams->szServer, pParams->szFrom, pParams->szTo,
            pParams->szReplyTo, pParams->szSubject, pParams->pszBody);
        connection.m_beforeData = pParams->beforeData;
        connection.m_options = pParams->options;
        connection.m_pAbandon = pParams->pAbandon;
        const bool bDelivered = connection.Deliver();
        std::string strReply = connection.LastReply();
        const EDelivery eWhat = bDelivered ? EDelivery::Sent
            : connection.IsInDoubt()       ? EDelivery::InDoubt
                                           : EDelivery::Failed;
        if (pPace && bDelivered)
            pPace->Accepted(turn);
        if (bDelivered && pParams->onCopyRefused) {
            for (const auto &[strCopy, strCopyReply] : connection.RefusedCopies())
                pParams->onCopyRefused(strCopy, strCopyReply);
        }
        // A message that may have arrived never goes again: nothing is sent twice.
        if (pPace && eWhat == EDelivery::Failed && IsTemporaryRefusal(strReply)) {
            if (const std::optional<std::chrono::milliseconds> pause
                = pPace->Patience().PauseAfter(nTries)) {
                pPace->ServerBusy(turn, *pause);
                if (pParams->onDone)
                    pParams->onDone(EDelivery::Deferred, strReply);
                if (pPace->WaitToTryAgain(*pause, pParams->pAbandon))
                    continue;
                strReply = kCancelledRetry;
            }
        }
        if (eWhat != EDelivery::Sent)
            AddFailedAddress(pParams->szTo);
        if (pParams->onDone) {
            if (strReply.empty())
                strReply = eWhat == EDelivery::InDoubt
                    ? "the server did not confirm the message; it may or may not have been "
                      "delivered"
                    : "no answer from the server";
            pParams->onDone(eWhat, strReply);
        }
        return 0;
    }
}

#include "mail/SendThread.h"

#include "mail/SmtpConnection.h"

std::string g_strFailedAddresses;
std::mutex g_failedAddressesLock;

void AddFailedAddress(const std::string &strTo)
{
    std::lock_guard lock(g_failedAddressesLock);
    g_strFailedAddresses += strTo + "\r\n";
}

unsigned SendThreadProc(std::unique_ptr<MailParams> pParams)
{
    CSmtpConnection connection(pParams->szServer, pParams->szFrom, pParams->szTo,
        pParams->szReplyTo, pParams->szSubject, pParams->pszBody);
    connection.m_beforeData = pParams->beforeData;
    connection.m_options = pParams->options;
    connection.m_pAbandon = pParams->pAbandon;
    const bool bDelivered = connection.Deliver();
    if (!bDelivered)
        AddFailedAddress(pParams->szTo);
    if (pParams->onDone) {
        const EDelivery eWhat = bDelivered ? EDelivery::Sent
            : connection.IsInDoubt()       ? EDelivery::InDoubt
                                           : EDelivery::Failed;
        std::string strReply = connection.LastReply();
        if (strReply.empty())
            strReply = eWhat == EDelivery::InDoubt
                ? "the server did not confirm the message; it may or may not have been delivered"
                : "no answer from the server";
        pParams->onDone(eWhat, strReply);
    }
    return 0;
}

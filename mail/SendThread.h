#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "mail/DeliveryEvent.h"
#include "mail/MessageData.h"

class CSendPace;

// What the run hands to one delivery worker, which owns it.
struct MailParams
{
    std::string szServer;
    std::string szFrom;
    std::string szTo;
    std::string szReplyTo;
    std::string szSubject;
    std::string pszBody;
    int nBodyLength = 0;
    // Ends the wait for the server's word on the end of the data, when set (a Cancel).
    const std::atomic<bool> *pAbandon = nullptr;
    // Told of each refusal for now (Deferred) and how the delivery ended, with the server's
    // last reply.
    std::function<void(EDelivery eWhat, const std::string &strReply)> onDone;
    // Told of each Cc or Bcc address the server refused in a message it took, with its reply.
    std::function<void(const std::string &strCopy, const std::string &strReply)> onCopyRefused;
    // Called before the message's data goes out; false keeps it from going.
    std::function<bool()> beforeData;
    // Its List-Unsubscribe and signer.
    SComposeOptions options;
    // The run's pace, which outlives the worker: a message the server refuses for now (4xx) is
    // tried again as it says. Without one such a refusal is a failure at once.
    CSendPace *pPace = nullptr;
};

// The failed recipient addresses of the current run, each followed by CR LF, in the order the
// deliveries failed. Workers append under the lock; the run reads it once they have all ended.
extern std::string g_strFailedAddresses;
extern std::mutex g_failedAddressesLock;
// Adds one to the list, under its lock.
void AddFailedAddress(const std::string &strTo);

// The delivery worker: one message through its own SMTP connection, a new one for each try;
// a failure adds the To text to g_strFailedAddresses.
unsigned SendThreadProc(std::unique_ptr<MailParams> pParams);

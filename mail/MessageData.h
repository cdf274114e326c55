#pragma once

#include <memory>
#include <string>

class CDkimSigner;

// What a message carries besides its texts: the List-Unsubscribe value of its recipient, whether
// a one-click link is in it, and the signer, when messages are signed.
struct SComposeOptions
{
    // The server takes 8-bit text (8BITMIME); otherwise text beyond ASCII goes
    // quoted-printable.
    bool bEightBit = true;
    std::string strListUnsubscribe;
    bool bOneClick = false;
    std::shared_ptr<const CDkimSigner> pSigner;
};

// One message's data section (headers, body, end-of-data line), as composed for a server that
// takes 8-bit text, and, when that holds bytes beyond ASCII, for one that does not.
struct SMessageData
{
    SMessageData() = default;
    SMessageData(std::string strEightBit) : strData(std::move(strEightBit)) { }
    SMessageData(const char *pData) : strData(pData) { }

    std::string strData;
    std::string strData7Bit; // empty when strData is already 7-bit or cannot be made so
};

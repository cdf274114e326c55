#pragma once

#include <memory>
#include <string>
#include <vector>

class CDkimSigner;

// A file attached to a message: read only when the message is made, never kept for the run.
struct SAttachment
{
    std::string strPath;
    std::string strContentType; // "application/pdf"
};

// A picture a formatted message shows, sent beside its HTML and referred to as
// "cid:<strContentId>".
struct SInlineImage
{
    std::string strPath; // absolute
    std::string strContentId;
};

// What a message carries besides its texts: the List-Unsubscribe value of its recipient, whether
// a one-click link is in it, the signer, when messages are signed, its copies and attachments.
struct SComposeOptions
{
    // The server takes 8-bit text (8BITMIME); otherwise text beyond ASCII goes
    // quoted-printable.
    bool bEightBit = true;
    std::string strListUnsubscribe;
    bool bOneClick = false;
    std::shared_ptr<const CDkimSigner> pSigner;
    std::string strCc; // the Cc header's addresses, as merged; none when empty
    // The bare addresses of the Cc and Bcc copies, for the envelope only: a Bcc address is
    // never written into the message.
    std::vector<std::string> copies;
    std::vector<SAttachment> attachments;
    // The formatted twin of the text, merged (text/html); none when empty. Its pictures.
    std::string strHtml;
    std::vector<SInlineImage> images;
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

#pragma once

#include <optional>
#include <string>

// Reads SMTP replies out of the bytes a server sends: a reply is one or more lines ending in
// CR LF, continued while the fourth character of a line is "-"; its code is the three digits
// that start its last line. Replies may arrive split over any number of receives, and several
// may arrive in one.
class CSmtpReplyReader final
{
public:
    // A reply longer than this is taken as a hostile or broken server.
    static constexpr size_t kMaxReplyBytes = 64 * 1024;

    struct SReply
    {
        int nCode = 0; // 0 when the reply is malformed
        std::string strText;
    };

    void Append(const char *pData, size_t nSize) { m_strPending.append(pData, nSize); }
    std::string &Buffer() { return m_strPending; }

    // The next complete reply, removed from the buffer, or nothing while it is incomplete.
    std::optional<SReply> TakeReply();
    // True when the bytes waiting can no longer become a valid reply.
    bool IsOverlong() const { return m_strPending.size() > kMaxReplyBytes; }

private:
    std::string m_strPending;
};

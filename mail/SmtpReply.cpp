#include "mail/SmtpReply.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The code of a reply line, or 0 when the line does not start with three digits.
int LineCode(const std::string &strText, size_t nStart, size_t nEnd)
{
    if (nEnd - nStart < 3 || !IsDigit(strText[nStart]) || !IsDigit(strText[nStart + 1])
        || !IsDigit(strText[nStart + 2]))
        return 0;
    return (strText[nStart] - '0') * 100 + (strText[nStart + 1] - '0') * 10
        + (strText[nStart + 2] - '0');
}

} // namespace

std::optional<CSmtpReplyReader::SReply> CSmtpReplyReader::TakeReply()
{
    size_t nLineStart = 0;
    for (;;) {
        const size_t nLineFeed = m_strPending.find('\n', nLineStart);
        if (nLineFeed == std::string::npos)
            return std::nullopt;
        // A bare LF ends a line too: lenient with servers, since nothing is lost by it.
        size_t nLineEnd = nLineFeed;
        if (nLineEnd > nLineStart && m_strPending[nLineEnd - 1] == '\r')
            --nLineEnd;
        const bool bContinued = nLineEnd - nLineStart >= 4 && m_strPending[nLineStart + 3] == '-'
            && LineCode(m_strPending, nLineStart, nLineEnd) != 0;
        if (!bContinued) {
            SReply reply {LineCode(m_strPending, nLineStart, nLineEnd),
                m_strPending.substr(0, nLineFeed + 1)};
            m_strPending.erase(0, nLineFeed + 1);
            return reply;
        }
        nLineStart = nLineFeed + 1;
    }
}

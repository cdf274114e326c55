#include "mail/MessageText.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

#include <gmime/gmime.h>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Every LF of a text with LF line breaks as CR LF.
std::string WithCrLf(std::string_view text)
{
    std::string strResult;
    strResult.reserve(text.size() + text.size() / 32 + 2);
    for (const char c : text) {
        if (c == '\n')
            strResult += '\r';
        strResult += c;
    }
    return strResult;
}

} // namespace

std::string Base64(std::string_view bytes)
{
    static const char kAlphabet[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string strOut;
    strOut.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t nGroup = 0;
        for (size_t k = 0; k < 3; ++k)
            nGroup = (nGroup << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            strOut += k <= n ? kAlphabet[(nGroup >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return strOut;
}

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string ExtractAddress(const std::string &strText)
{
    const size_t nOpen = strText.find('<');
    if (nOpen == std::string::npos)
        return strText;
    const size_t nClose = strText.find('>', nOpen + 1);
    if (nClose == std::string::npos)
        return strText;
    return strText.substr(nOpen + 1, nClose - nOpen - 1);
}

std::string WrapBody(std::string_view text, int nWidth)
{
    // Every break becomes a bare LF first, so that a CR is never counted as a character.
    std::string strInput;
    strInput.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        strInput += text[i] == '\r' ? '\n' : text[i];
    }

    const size_t nW = nWidth > 2 ? static_cast<size_t>(nWidth) : 2;
    const auto characters = [](std::string_view part) {
        return static_cast<size_t>(
            std::count_if(part.begin(), part.end(), [](char c) { return !IsUtf8Continuation(c); }));
    };
    std::string strLines;
    if (characters(strInput) <= nW) {
        strLines = std::move(strInput);
    } else {
        // The wrapped text is built front to back: each character lands at the end of what is
        // done, and a break only ever changes a blank already written or goes where a blank
        // arrives. Widths count characters, never bytes, and a break never goes inside a word:
        // a word longer than the width stays whole on a line of its own.
        strLines.reserve(strInput.size() + strInput.size() / 64 + 2);
        size_t nColumns = 0; // one more than the characters on lines after the first
        size_t nLastBlank = std::string::npos; // the current line's, never at index 0
        for (const char c : strInput) {
            const bool bCharacter = !IsUtf8Continuation(c);
            if (bCharacter && c != '\n' && nColumns >= nW) {
                if (c == ' ') {
                    strLines += '\n';
                    nColumns = 1;
                    nLastBlank = std::string::npos;
                    continue;
                }
                if (nLastBlank != std::string::npos) {
                    strLines[nLastBlank] = '\n';
                    nColumns = 1 + characters(std::string_view(strLines).substr(nLastBlank + 1));
                    nLastBlank = std::string::npos;
                }
            }
            if (c == '\n') {
                nColumns = 1;
                nLastBlank = std::string::npos;
            } else if (bCharacter) {
                if (c == ' ' && !strLines.empty())
                    nLastBlank = strLines.size();
                ++nColumns;
            }
            strLines += c;
        }
    }

    return WithCrLf(strLines);
}

bool HasLongLine(std::string_view text, size_t nMaxBytes)
{
    size_t nStart = 0;
    while (nStart <= text.size()) {
        size_t nEnd = text.find('\n', nStart);
        if (nEnd == std::string_view::npos)
            nEnd = text.size();
        const size_t nLength = nEnd - nStart - (nEnd > nStart && text[nEnd - 1] == '\r' ? 1 : 0);
        if (nLength > nMaxBytes)
            return true;
        nStart = nEnd + 1;
    }
    return false;
}

std::string QuotedPrintable(std::string_view text)
{
    // GMime's encoder takes LF line breaks; the message wants CR LF.
    std::string strInput;
    strInput.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            strInput += text[i];
    }
    GMimeEncoding state;
    g_mime_encoding_init_encode(&state, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    std::string strEncoded(g_mime_encoding_outlen(&state, strInput.size()) + 16, '\0');
    strEncoded.resize(
        g_mime_encoding_flush(&state, strInput.data(), strInput.size(), strEncoded.data()));
    // The encoder ends the text with a line break of its own when it had none.
    if (!strInput.empty() && strInput.back() != '\n' && !strEncoded.empty()
        && strEncoded.back() == '\n' && strEncoded.compare(strEncoded.size() - 2, 2, "=\n") != 0)
        strEncoded.pop_back();
    return WithCrLf(strEncoded);
}

std::string FoldHeader(std::string_view name, std::string_view value)
{
    constexpr size_t kMaxLine = 77; // under 78 characters
    if (HasNonAscii(value))
        return EncodeWords(value, kMaxLine - name.size() - 2);
    // Unstructured text folds before a blank; a run without blanks stays whole.
    std::string strResult;
    size_t nLineLength = name.size() + 2;
    while (nLineLength + value.size() > kMaxLine) {
        size_t nCut = value.rfind(' ', kMaxLine > nLineLength ? kMaxLine - nLineLength : 0);
        if (nCut == 0 || nCut == std::string_view::npos)
            nCut = value.find(' ', 1);
        if (nCut == std::string_view::npos)
            break;
        strResult.append(value.substr(0, nCut)).append("\r\n"); // the blank starts the next line
        value.remove_prefix(nCut);
        nLineLength = 0;
    }
    return strResult.append(value);
}

std::string PercentEncode(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string strResult;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || c == '-' || c == '.' || c == '_' || c == '~') {
            strResult += c;
        } else {
            strResult += '%';
            strResult += kHex[b >> 4];
            strResult += kHex[b & 0xF];
        }
    }
    return strResult;
}

std::string DotStuff(std::string_view text)
{
    std::string strResult;
    strResult.reserve(text.size() + 8);
    bool bLineStart = true;
    for (const char c : text) {
        if (bLineStart && c == '.')
            strResult += '.';
        strResult += c;
        bLineStart = c == '\n';
    }
    return strResult;
}

bool HasNonAscii(std::string_view text)
{
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

std::string EncodeWords(std::string_view text, size_t nFirstLine)
{
    // "=?UTF-8?B?" + base64 + "?=" within 75 characters leaves 60 base64 characters: 45 bytes.
    // The first word may have less room on its line.
    constexpr size_t kMaxBytesPerWord = 45;
    const size_t nFirstBytes
        = std::clamp<size_t>(nFirstLine > 12 ? (nFirstLine - 12) / 4 * 3 : 3, 3, kMaxBytesPerWord);
    std::string strResult;
    while (!text.empty()) {
        const size_t nMax = strResult.empty() ? nFirstBytes : kMaxBytesPerWord;
        size_t n = std::min(nMax, text.size());
        while (n < text.size() && n > 0 && IsUtf8Continuation(text[n]))
            --n;
        if (n == 0) // not UTF-8 at all: cut anywhere rather than loop
            n = std::min(nMax, text.size());
        if (!strResult.empty())
            strResult += "\r\n ";
        strResult += "=?UTF-8?B?" + Base64(text.substr(0, n)) + "?=";
        text.remove_prefix(n);
    }
    return strResult;
}

std::string EncodeAddressHeader(const std::string &strText)
{
    if (!HasNonAscii(strText))
        return strText;
    const size_t nOpen = strText.find('<');
    if (nOpen == std::string::npos || strText.find('>', nOpen + 1) == std::string::npos)
        return strText; // a bare address cannot be encoded
    std::string_view name = TrimBlanks(std::string_view(strText).substr(0, nOpen));
    const std::string_view address = std::string_view(strText).substr(nOpen);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    if (!HasNonAscii(name))
        return strText; // the address itself holds the non-ASCII text
    return EncodeWords(name) + " " + std::string(address);
}

std::vector<std::string> SplitAddressList(std::string_view text)
{
    std::vector<std::string> addresses;
    bool bQuoted = false;
    bool bAngled = false;
    size_t nStart = 0;
    const auto take = [&](size_t nEnd) {
        const std::string_view address = TrimBlanks(text.substr(nStart, nEnd - nStart));
        if (!address.empty())
            addresses.emplace_back(address);
        nStart = nEnd + 1;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' && !bAngled)
            bQuoted = !bQuoted;
        else if (c == '\\' && bQuoted)
            ++i; // a quoted pair
        else if (!bQuoted && c == '<')
            bAngled = true;
        else if (!bQuoted && c == '>')
            bAngled = false;
        else if (!bQuoted && !bAngled && (c == ',' || c == ';'))
            take(i);
    }
    take(text.size());
    return addresses;
}

std::string EncodeAddressList(const std::string &strText)
{
    std::string strValue;
    size_t nLine = 4; // "Cc: "
    for (const std::string &strAddress : SplitAddressList(strText)) {
        const std::string strEncoded = EncodeAddressHeader(strAddress);
        if (!strValue.empty()) {
            strValue += ',';
            const size_t nFirst = strEncoded.find("\r\n");
            const size_t nWidth = nFirst == std::string::npos ? strEncoded.size() : nFirst;
            if (nLine + 2 + nWidth > 77) {
                strValue += "\r\n";
                nLine = 0;
            }
            strValue += ' ';
            nLine += 2;
        }
        strValue += strEncoded;
        const size_t nLast = strEncoded.rfind("\r\n");
        nLine = nLast == std::string::npos ? nLine + strEncoded.size()
                                           : strEncoded.size() - nLast - 2;
    }
    return strValue;
}

namespace {

// True when the text can be the domain of a Message-ID: dot-separated atoms of letters,
// digits and hyphens.
bool IsPlainDomain(std::string_view domain)
{
    if (domain.empty() || domain.size() > 253 || domain.front() == '.' || domain.back() == '.'
        || domain.find("..") != std::string_view::npos)
        return false;
    return std::all_of(domain.begin(), domain.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '-' || c == '.';
    });
}

} // namespace

std::string MakeMessageId(const std::string &strFrom)
{
    static const uint64_t nProcessRandom = [] {
        std::random_device device;
        return (uint64_t(device()) << 32) ^ device();
    }();
    static std::atomic<uint64_t> nCounter {0};

    const std::string strAddress = ExtractAddress(strFrom);
    const size_t nAt = strAddress.rfind('@');
    std::string_view domain = nAt == std::string::npos
        ? std::string_view()
        : std::string_view(strAddress).substr(nAt + 1);
    if (!IsPlainDomain(domain))
        domain = "mergix.invalid";
    const auto nMilliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                                   .count();
    char unique[80];
    std::snprintf(unique, sizeof unique, "%llx.%016llx.%llu",
        static_cast<unsigned long long>(nMilliseconds),
        static_cast<unsigned long long>(nProcessRandom),
        static_cast<unsigned long long>(++nCounter));
    return "<" + std::string(unique) + "@" + std::string(domain) + ">";
}

std::string FormatTime(std::time_t time, const char *pPattern, ETimeZone eZone)
{
    std::tm parts {};
    if (eZone == ETimeZone::Utc)
        gmtime_r(&time, &parts);
    else
        localtime_r(&time, &parts);
    char text[64];
    return std::strftime(text, sizeof text, pPattern, &parts) ? text : "";
}

std::string FormatMessageDate(std::time_t time)
{
    static const char *const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const kMonths[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local {};
    localtime_r(&time, &local);
    const long nOffset = local.tm_gmtoff / 60;
    const long nAbsolute = nOffset < 0 ? -nOffset : nOffset;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
        kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900,
        local.tm_hour, local.tm_min, local.tm_sec, nOffset < 0 ? '-' : '+', nAbsolute / 60,
        nAbsolute % 60);
    return buffer;
}

std::string ParseServerName(const std::string &strServer, std::string &strHost,
    std::string &strPort, const std::string &strDefaultPort)
{
    strPort = strDefaultPort;
    std::string strPortText;
    bool bPortGiven = false;
    bool bBracketed = false;
    if (strServer.empty())
        return "it is empty";
    if (strServer.front() == '[') {
        const size_t nClose = strServer.find(']');
        if (nClose == std::string::npos)
            return "the \"[\" of its IPv6 address is not closed by \"]\"";
        strHost = strServer.substr(1, nClose - 1);
        bBracketed = true;
        if (nClose + 1 < strServer.size()) {
            if (strServer[nClose + 1] != ':')
                return "only \":\" and a port may follow the \"]\"";
            strPortText = strServer.substr(nClose + 2);
            bPortGiven = true;
        }
    } else if (const size_t nColon = strServer.find(':'); nColon != std::string::npos
               && strServer.find(':', nColon + 1) == std::string::npos) {
        strHost = strServer.substr(0, nColon);
        strPortText = strServer.substr(nColon + 1);
        bPortGiven = true;
    } else {
        strHost = strServer; // a name, or an IPv6 address without brackets
    }
    if (strHost.empty())
        return "it names no host before the port";
    if (bPortGiven) {
        if (strPortText.empty())
            return "no port number follows the \":\"";
        long nPort = 0;
        for (const char c : strPortText) {
            if (c < '0' || c > '9')
                return "its port must be a number from 1 to 65535";
            nPort = std::min(nPort * 10 + (c - '0'), 100000L);
        }
        if (nPort < 1 || nPort > 65535)
            return "its port must be a number from 1 to 65535";
        strPort = std::to_string(nPort);
    }
    if (bBracketed || strHost.find(':') != std::string::npos) {
        in6_addr address {};
        if (::inet_pton(AF_INET6, strHost.c_str(), &address) != 1)
            return "\"" + strHost + "\" is not an IPv6 address";
        return {};
    }
    if (strHost.size() > 253)
        return "a host name has at most 253 characters";
    for (const char c : strHost) {
        const auto b = static_cast<unsigned char>(c);
        // Letters, digits, "-", "." and "_"; bytes of UTF-8 for names in other scripts.
        if (b < 0x80 && !std::isalnum(b) && c != '-' && c != '.' && c != '_')
            return c == ' ' ? "a host name cannot hold a blank"
                            : "a host name cannot hold the character \"" + std::string(1, c) + "\"";
    }
    return {};
}

std::pair<std::string, int> SplitOffPort(const std::string &strName)
{
    std::string strHost;
    std::string strPort;
    if (!SplitServerName(strName, strHost, strPort))
        return {strName, 0};
    for (const std::string &strShownHost : {strHost, "[" + strHost + "]"}) {
        if (strName == strShownHost + ":" + strPort)
            return {strShownHost, std::stoi(strPort)};
    }
    return {strName, 0};
}

bool SplitServerName(const std::string &strServer, std::string &strHost, std::string &strPort)
{
    return ParseServerName(strServer, strHost, strPort).empty();
}

std::string CheckServerName(const std::string &strServer)
{
    std::string strHost;
    std::string strPort;
    const std::string strProblem = ParseServerName(strServer, strHost, strPort);
    if (strProblem.empty())
        return {};
    std::string strShown = PrintableText(strServer);
    if (strShown.size() > 80)
        strShown = strShown.substr(0, 60) + "...";
    return "The SMTP server \"" + strShown + "\" is not valid: " + PrintableText(strProblem) + ".";
}

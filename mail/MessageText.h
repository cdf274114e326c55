#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/PrintableText.h" // HasLineBreakOrNul

// The texts of one outgoing message, as the SMTP connection writes them.

// The bare address of a "Name <address>" text: what lies between the first "<" and the first
// ">" after it; the whole text when there is no such pair.
std::string ExtractAddress(const std::string &strText);

// Rewraps a body at nWidth characters and returns it with every line break as CR LF: CR LF,
// bare CR and bare LF all count as one break. A line that reaches the width is broken at its
// last blank (which the break replaces); a word longer than the width is never broken, nor is a
// character: its line goes on to the next blank. The first line may hold nWidth characters,
// later lines nWidth - 1.
std::string WrapBody(std::string_view text, int nWidth);

// True when a line of the text, without its line break, is longer than nMaxBytes.
bool HasLongLine(std::string_view text, size_t nMaxBytes);
// The text in the quoted-printable transfer encoding (GMime's encoder), CR LF line breaks: every
// byte below 128, lines within 76 characters, the exact text once decoded.
std::string QuotedPrintable(std::string_view text);
// A header's value as it follows "Name: ", folded into lines under 78 characters: at blanks for
// ASCII text, as encoded-words holding whole characters otherwise.
std::string FoldHeader(std::string_view name, std::string_view value);
// A text for a URL's query: everything but letters, digits and "-._~" as %XX of its bytes.
std::string PercentEncode(std::string_view text);

// SMTP transparency: a period that starts a line gets a second one in front of it.
std::string DotStuff(std::string_view text);

// The bytes in base64, with padding and without line breaks.
std::string Base64(std::string_view bytes);

// True when any byte is 0x80 or above.
bool HasNonAscii(std::string_view text);

// The text as RFC 2047 encoded-words (UTF-8, base64), folded with CR LF and a blank between
// words; each word stays within 75 characters, the first within nFirstLine, and holds whole
// characters.
std::string EncodeWords(std::string_view text, size_t nFirstLine = 75);

// A From, To or Reply-To text whose display name is not pure ASCII gets it as encoded-words;
// the address in angle brackets stays as typed. Anything else is returned unchanged.
std::string EncodeAddressHeader(const std::string &strText);

// The addresses of a Cc or Bcc text: split at commas and semicolons that are neither inside
// quotes nor inside angle brackets, each trimmed, empty ones left out.
std::vector<std::string> SplitAddressList(std::string_view text);
// Addresses as a header value: each as EncodeAddressHeader makes it, joined by commas and
// folded between addresses to keep lines under 78 characters.
std::string EncodeAddressList(const std::string &strText);

// A Message-ID header value, "<unique@domain>": the domain is the sender's (from the
// address in From), or the program's own when the sender has none that can stand there. The
// unique part joins the time, a random number drawn once per process and a counter, so no two
// messages of a process, nor of two processes, share one.
std::string MakeMessageId(const std::string &strFrom);

enum class ETimeZone { Local, Utc };
// The time in a strftime pattern ("%Y-%m-%d %H:%M:%S"), in local time or UTC.
std::string FormatTime(std::time_t time, const char *pPattern, ETimeZone eZone = ETimeZone::Local);

// An RFC 5322 date in local time: "Tue, 08 Dec 2026 14:05:09 +0100".
std::string FormatMessageDate(std::time_t time);

// Splits "host", "host:port", "[v6-address]:port" or a bare IPv6 address into host and port
// (the default port when none is given). Returns what is wrong with the text, or nothing: no host,
// a port that is not a number from 1 to 65535, an IPv6 address that is none, a host name with
// blanks or punctuation, or longer than 253 characters.
std::string ParseServerName(const std::string &strServer, std::string &strHost,
    std::string &strPort, const std::string &strDefaultPort = "25");
bool SplitServerName(const std::string &strServer, std::string &strHost, std::string &strPort);
// The part of a server name before the port it carries ("host:2525"), and that port; no port
// (0) when it carries none.
std::pair<std::string, int> SplitOffPort(const std::string &strName);
// The message for a server name that cannot be used, naming it and what is wrong; empty when
// it can be used.
std::string CheckServerName(const std::string &strServer);

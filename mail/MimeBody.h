#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mail/MessageData.h"

// The MIME entity of a message with attachments or a formatted twin, made by GMime: its
// Content-Type header line, a blank line and a multipart body, all with CR LF line breaks and
// nothing beyond ASCII. With HTML, the text and the HTML are a multipart/alternative, the HTML
// in a multipart/related with its pictures (inline, each with its Content-ID) when it shows
// any; with files, all of that and each file in base64 are a multipart/mixed. The text (already
// wrapped, CR LF) is sent as it is when it is short-lined ASCII, otherwise quoted-printable; the
// HTML always quoted-printable. File names in any language are encoded as RFC 2231 parameters.
// Nothing, with strError saying which file, when one cannot be read; the files are read here
// and not kept.
std::optional<std::string> ComposeMimeBody(const std::string &strText, const std::string &strHtml,
    const std::vector<SInlineImage> &images, const std::vector<SAttachment> &attachments,
    std::string &strError);

// The bytes a file takes in such a body: base64 with its line breaks.
unsigned long long Base64Size(unsigned long long nBytes);

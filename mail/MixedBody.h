#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mail/MessageData.h"

// The MIME entity of a message with attachments, made by GMime: its Content-Type header line,
// a blank line and a multipart/mixed body holding the text and each file in base64, all with
// CR LF line breaks and nothing beyond ASCII. The text (already wrapped, CR LF) is sent as it is
// when it is short-lined ASCII, otherwise quoted-printable. File names in any language are
// encoded as RFC 2231 parameters. Nothing, with strError saying which file, when one cannot be
// read; the files are read here and not kept.
std::optional<std::string> ComposeMixedBody(
    const std::string &strText, const std::vector<SAttachment> &attachments, std::string &strError);

// The bytes a file takes in such a body: base64 with its line breaks.
unsigned long long Base64Size(unsigned long long nBytes);

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the readers of workbook parts and of the editor's HTML share: character references of
// XML and HTML text ("&amp;", "&#233;", "&#x1F600;") resolved into UTF-8, and where a tag ends.

// The character as UTF-8; a code that is no character (0, a surrogate, past U+10FFFF) becomes
// U+FFFD.
void AppendUtf8(std::string &out, uint32_t nCode);

// The reference that starts at text[nAmp] ('&') resolved and appended: the five of XML, numeric
// ones, and with bHtml also "&nbsp;"; anything else is appended as it stands. Returns the index
// of the last character it took.
size_t AppendCharacterReference(std::string &out, std::string_view text, size_t nAmp, bool bHtml);

// The '>' that ends the tag opening at text[nOpen] ('<'), past quoted attribute values; npos
// when the text ends first.
size_t MarkupTagEnd(std::string_view text, size_t nOpen);

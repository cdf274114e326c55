#pragma once

#include <string>
#include <string_view>

// A text from a file or a database as a message may quote it: control characters (C0, DEL and
// the C1 range) are shown as escapes ("\n", "\x1b", "\u009b"), so that a hostile name can
// neither forge lines of output nor drive the terminal. Everything else, UTF-8 included, stays.
std::string PrintableText(std::string_view text);

// True when the text holds a line break or a zero byte: no header line, and no file path, may.
bool HasLineBreakOrNul(std::string_view text);

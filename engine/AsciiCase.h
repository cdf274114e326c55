#pragma once

#include <string>
#include <string_view>

// Upper-cases the ASCII letters a to z; every other byte, UTF-8 included, stays as it is.
inline void UpperCaseAscii(std::string &text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
}

// Equal texts when the ASCII letters a to z are taken as A to Z; every other byte, UTF-8
// included, must match exactly. Table names and list labels are compared this way.
inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto fold = [](char c) {
        return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    };
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

#pragma once

#include <string>
#include <string_view>
#include <vector>

// Upper-cases the ASCII letters a to z; every other byte, UTF-8 included, stays as it is.
inline void UpperCaseAscii(std::string &text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
}

// A copy with the ASCII letters A to Z lower-cased; HTML tag and attribute names are read so.
inline std::string AsciiLower(std::string_view text)
{
    std::string strLower(text);
    for (char &c : strLower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return strLower;
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

// The first item that name(item) calls strName exactly, else the first that does ignoring ASCII
// letter case; nullptr when none does. Tables are found by name this way.
template<typename Item, typename Name>
const Item *FindByName(const std::vector<Item> &items, std::string_view strName, Name name)
{
    for (const Item &item : items) {
        if (name(item) == strName)
            return &item;
    }
    for (const Item &item : items) {
        if (EqualsIgnoringAsciiCase(name(item), strName))
            return &item;
    }
    return nullptr;
}

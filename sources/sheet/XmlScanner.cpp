#include "sources/sheet/XmlScanner.h"

#include <algorithm>
#include <cstdint>

#include "engine/MarkupText.h"

namespace {

// Where text next needs more than copying: a reference or a carriage return.
size_t FindSpecial(std::string_view text, size_t nFrom)
{
    for (size_t i = nFrom; i < text.size(); ++i) {
        if (text[i] == '&' || text[i] == '\r')
            return i;
    }
    return text.size();
}

void AppendText(std::string &out, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        // Plain runs are copied whole.
        if (const size_t nSpecial = FindSpecial(text, i); nSpecial != i) {
            out.append(text.substr(i, nSpecial - i));
            i = nSpecial;
            if (i == text.size())
                break;
        }
        const char c = text[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            continue;
        }
        i = AppendCharacterReference(out, text, i, false);
    }
}

// Where c next is from nFrom on. Tags, names and values are short: a plain loop finds it there
// sooner than a call to memchr, which is left for long text.
size_t FindChar(std::string_view text, char c, size_t nFrom)
{
    const size_t nNear = std::min(text.size(), nFrom + 32);
    for (size_t i = nFrom; i < nNear; ++i) {
        if (text[i] == c)
            return i;
    }
    return nNear >= text.size() ? std::string_view::npos : text.find(c, nNear);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

void CXmlScanner::Append(std::string_view piece)
{
    m_buffer.erase(0, m_nAt);
    m_nAt = 0;
    m_buffer.append(piece);
}

CXmlScanner::EStep CXmlScanner::Next(SXmlTag &tag, std::string *pText)
{
    const std::string_view xml = m_buffer;
    while (m_nAt < xml.size()) {
        const size_t nOpen = FindChar(xml, '<', m_nAt);
        if (nOpen == std::string_view::npos) {
            // Text runs to the next tag, which may come in the next piece.
            if (!m_bFinished)
                return EStep::More;
            if (pText)
                AppendText(*pText, xml.substr(m_nAt));
            m_nAt = xml.size();
            break;
        }
        if (pText)
            AppendText(*pText, xml.substr(m_nAt, nOpen - m_nAt));
        m_nAt = nOpen;
        const std::string_view rest = xml.substr(nOpen);
        if (rest.size() < 9 && !m_bFinished && std::string_view("<![CDATA[").starts_with(rest))
            return EStep::More;
        if (rest.starts_with("<![CDATA[") || rest.starts_with("<!--")) {
            const bool bData = rest[2] == '[';
            const size_t nEnd = xml.find(bData ? "]]>" : "-->", nOpen + (bData ? 9 : 4));
            if (nEnd == std::string_view::npos && !m_bFinished)
                return EStep::More;
            const size_t nStop = nEnd == std::string_view::npos ? xml.size() : nEnd;
            if (bData && pText)
                pText->append(xml.substr(nOpen + 9, nStop - std::min(nStop, nOpen + 9)));
            m_nAt = nEnd == std::string_view::npos ? xml.size() : nEnd + 3;
            continue;
        }
        const size_t nClose = MarkupTagEnd(m_buffer, nOpen);
        if (nClose == std::string_view::npos) {
            if (!m_bFinished)
                return EStep::More;
            m_nAt = xml.size();
            break;
        }
        m_nAt = nClose + 1;
        if (xml[nOpen + 1] == '?' || xml[nOpen + 1] == '!')
            continue;
        std::string_view inside = xml.substr(nOpen + 1, nClose - nOpen - 1);
        tag = SXmlTag();
        if (!inside.empty() && inside.front() == '/') {
            tag.bEnd = true;
            inside.remove_prefix(1);
        }
        if (!inside.empty() && inside.back() == '/') {
            tag.bEmpty = true;
            inside.remove_suffix(1);
        }
        size_t nNameEnd = 0;
        while (nNameEnd < inside.size() && !IsSpace(inside[nNameEnd]))
            ++nNameEnd;
        tag.name = inside.substr(0, nNameEnd);
        if (const size_t nColon = FindChar(tag.name, ':', 0); nColon != std::string_view::npos)
            tag.name.remove_prefix(nColon + 1);
        tag.attributes = inside.substr(nNameEnd);
        return EStep::Tag;
    }
    return m_bFinished ? EStep::End : EStep::More;
}

std::string_view CXmlScanner::Attribute(
    std::string_view attributes, std::string_view name, std::string &strScratch)
{
    for (size_t i = 0; i < attributes.size();) {
        const size_t nEquals = FindChar(attributes, '=', i);
        if (nEquals == std::string_view::npos)
            break;
        std::string_view key = attributes.substr(i, nEquals - i);
        while (!key.empty() && IsSpace(key.front()))
            key.remove_prefix(1);
        while (!key.empty() && IsSpace(key.back()))
            key.remove_suffix(1);
        if (const size_t nColon = FindChar(key, ':', 0); nColon != std::string_view::npos)
            key.remove_prefix(nColon + 1);
        size_t nQuote = nEquals;
        while (
            nQuote < attributes.size() && attributes[nQuote] != '"' && attributes[nQuote] != '\'')
            ++nQuote;
        if (nQuote == attributes.size())
            break;
        const size_t nEnd = FindChar(attributes, attributes[nQuote], nQuote + 1);
        if (nEnd == std::string_view::npos)
            break;
        if (key == name) {
            const std::string_view value = attributes.substr(nQuote + 1, nEnd - nQuote - 1);
            if (FindSpecial(value, 0) == value.size())
                return value;
            strScratch.clear();
            AppendText(strScratch, value);
            return strScratch;
        }
        i = nEnd + 1;
    }
    return {};
}

bool XmlHasForbiddenControl(std::string_view xml)
{
    const auto isForbidden = [](char c) {
        const auto n = static_cast<unsigned char>(c);
        return n < 0x20 && n != '\t' && n != '\n' && n != '\r';
    };
    // Blocks are first looked at for any byte below 0x20 without stopping early, which the
    // compiler makes vector code of.
    constexpr size_t kBlock = 64;
    size_t i = 0;
    for (; i + kBlock <= xml.size(); i += kBlock) {
        unsigned char nLow = 0;
        for (size_t k = 0; k < kBlock; ++k)
            nLow |= static_cast<unsigned char>(static_cast<unsigned char>(xml[i + k]) < 0x20);
        if (nLow != 0 && std::any_of(xml.begin() + i, xml.begin() + i + kBlock, isForbidden))
            return true;
    }
    return std::any_of(xml.begin() + i, xml.end(), isForbidden);
}

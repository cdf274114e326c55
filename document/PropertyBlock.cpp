#include "document/PropertyBlock.h"

#include <charconv>

#include "document/MgxArchive.h"

CNewerMergeFile::CNewerMergeFile()
    : std::runtime_error("This merge file was saved by a newer version of Mergix, which stores "
                         "settings this version does not know. Please open it with that version.")
{ }

namespace PropertyBlock {

namespace {

// A count or version as the block stores it: decimal digits, nothing else.
size_t ReadNumber(CMgxArchive &archive)
{
    const std::string strText = archive.ReadString();
    size_t nValue = 0;
    const auto [pEnd, error]
        = std::from_chars(strText.data(), strText.data() + strText.size(), nValue);
    if (strText.empty() || error != std::errc() || pEnd != strText.data() + strText.size())
        throw CMgxArchive::CEndOfData();
    return nValue;
}

} // namespace

void Write(CMgxArchive &archive, const MergeProperties &properties)
{
    if (properties.empty())
        return;
    archive.WriteString(kMark);
    archive.WriteString(std::to_string(kVersion));
    archive.WriteString(std::to_string(properties.size()));
    for (const auto &[strName, strValue] : properties) {
        archive.WriteString(strName);
        archive.WriteString(strValue);
    }
}

MergeProperties Read(CMgxArchive &archive)
{
    // Other bytes after the seven strings were always ignored, and still are.
    try {
        if (archive.AtEnd() || archive.ReadString() != kMark)
            return {};
    } catch (const CMgxArchive::CEndOfData &) {
        return {};
    }
    if (ReadNumber(archive) > static_cast<size_t>(kVersion))
        throw CNewerMergeFile();
    const size_t nCount = ReadNumber(archive);
    MergeProperties properties;
    for (size_t i = 0; i < nCount; ++i) {
        std::string strName = archive.ReadString();
        properties.emplace_back(std::move(strName), archive.ReadString());
    }
    return properties;
}

} // namespace PropertyBlock

#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class CMgxArchive;

// The versioned block a merge file holds after its seven strings when the merge uses a
// property those strings cannot carry: a mark, the block's version, then named properties,
// all as archive strings. Names this program does not know are kept and written back, so a
// property added later within the same version survives a round trip through this one; a block
// of a newer version is refused rather than read in part.
using MergeProperties = std::vector<std::pair<std::string, std::string>>;

class CNewerMergeFile final : public std::runtime_error
{
public:
    CNewerMergeFile();
};

namespace PropertyBlock {

inline constexpr const char *kMark = "Mergix properties";
inline constexpr int kVersion = 1;

// Writes nothing for no properties: such a merge stays exactly the seven strings.
void Write(CMgxArchive &archive, const MergeProperties &properties);
// Reads the block when the archive goes on after the seven strings with one; none when it ends
// there or goes on with other bytes. Throws CNewerMergeFile for a later version,
// CMgxArchive::CEndOfData when the block is damaged.
MergeProperties Read(CMgxArchive &archive);

} // namespace PropertyBlock

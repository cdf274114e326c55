#pragma once

#include <map>
#include <string>

// What a run needs to know of one attachment before it sends anything: whether it can be
// attached, its content type and size. Looked at without opening anything that could block,
// such as a FIFO.
struct SAttachmentFile
{
    std::string strProblem; // "was not found", "is a folder"...; empty when it can be sent
    std::string strContentType;
    unsigned long long nSize = 0;
};

// A file larger than this is refused: no mail server takes it, and it would be held in memory.
inline constexpr unsigned long long kMaxAttachmentBytes = 100ULL << 20;

SAttachmentFile InspectAttachment(const std::string &strPath);

// Whether the path, with its links resolved where it exists, lies inside the folder.
bool IsInsideFolder(const std::string &strPath, const std::string &strFolder);

// Inspects each path once however many records attach it.
class CAttachmentFiles final
{
public:
    const SAttachmentFile &Inspect(const std::string &strPath);

private:
    std::map<std::string, SAttachmentFile> m_files;
};

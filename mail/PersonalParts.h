#pragma once

#include <string>
#include <vector>

#include "document/MessageExtras.h"
#include "engine/MergeTemplate.h"

// The parts of a message besides its body that field tags and {IF} blocks personalise: the
// subject, the Cc and Bcc addresses and the attachment paths, each parsed once for a run and
// then merged for every record.
class CPersonalParts final
{
public:
    struct SParts
    {
        std::string strSubject;
        std::vector<std::string> cc; // as typed and merged: "Name <address>" or a bare address
        std::vector<std::string> bcc;
        std::vector<std::string> attachments; // absolute paths
    };

    // strFolder ends in "/" (or is empty for the working folder): relative paths are taken
    // from it.
    CPersonalParts(const std::string &strSubject, const SMessageExtras &extras,
        const CMergeFields &fields, const std::string &strFolder);

    // Whether the subject holds a field tag or a block: only then is it merged (otherwise it is
    // sent exactly as typed) and shown by a test merge.
    bool SubjectIsMerged() const { return m_subject.bMerged; }
    SParts Expand(const CMergeRecord &record) const;

    // The folder a path template keeps its files in: the folder part of the text before its
    // first tag or block, taken from the merge's folder. A fixed path has none (empty).
    std::string ChosenFolder(size_t nAttachment) const;

private:
    struct SText
    {
        std::string strTemplate;
        std::vector<IfStatement> statements;
        bool bMerged = false;
    };
    SText Parse(const std::string &strTemplate) const;
    std::string Merge(const SText &text, const CMergeRecord &record) const;

    const CMergeFields &m_fields;
    std::string m_strFolder;
    SText m_subject;
    SText m_cc;
    SText m_bcc;
    std::vector<SText> m_attachments;
};

// A path taken from the folder (ending in "/") when relative, with "." and ".." resolved.
std::string AbsolutePath(const std::string &strPath, const std::string &strFolder);
// Merged addresses as one header text: "a@example.org, Name <b@example.org>".
std::string JoinAddresses(const std::vector<std::string> &addresses);

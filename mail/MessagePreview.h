#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mail/HtmlMessage.h"
#include "mail/MergeRun.h"
#include "mail/PersonalParts.h"

class CRecordList;

// The message one record of the list gets, made as a send makes it, for the preview.
class CMessagePreview final
{
public:
    struct SMessage
    {
        std::string strTo;
        std::string strCc;
        std::string strBcc;
        std::string strSubject;
        std::vector<std::string> attachments; // absolute paths
        std::string strText; // CR LF line breaks
        std::string strHtml; // empty for a plain message
    };

    // The input's list, fields and texts are kept by reference.
    explicit CMessagePreview(const CMergeRun::SInput &input);

    SMessage Make(const CRecordList &list, int nRow) const;
    // The pictures of a formatted message, by Content-ID.
    const std::vector<SInlineImage> &Images() const;

private:
    const CMergeRun::SInput &m_input;
    std::vector<IfStatement> m_statements;
    CPersonalParts m_parts;
    std::optional<CHtmlMessage> m_html;
    int m_nToColumn;
};

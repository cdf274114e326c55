#include "mail/MessagePreview.h"

#include "mail/RecordList.h"

CMessagePreview::CMessagePreview(const CMergeRun::SInput &input)
    : m_input(input)
    , m_statements(CollectIfStatements(input.strTemplate, input.fields))
    , m_parts(input.strSubject, input.extras, input.fields, input.strAttachmentFolder)
    , m_nToColumn(input.fields.FindColumn(input.strToField))
{
    if (!input.strFormattedBody.empty())
        m_html.emplace(input.strFormattedBody, input.fields, input.strAttachmentFolder);
}

CMessagePreview::SMessage CMessagePreview::Make(const CRecordList &list, int nRow) const
{
    const CRecordListRow row(list, nRow);
    const CPersonalParts::SParts personal = m_parts.Expand(row);
    SMessage message;
    message.strTo
        = m_nToColumn < 0 ? std::string() : std::string(MergeCellText(row.CellText(m_nToColumn)));
    message.strCc = JoinAddresses(personal.cc);
    message.strBcc = JoinAddresses(personal.bcc);
    message.strSubject = personal.strSubject;
    message.attachments = personal.attachments;
    message.strText = ExpandTemplate(m_input.strTemplate, m_statements, m_input.fields, row);
    if (m_html)
        message.strHtml = m_html->Expand(row);
    return message;
}

const std::vector<SInlineImage> &CMessagePreview::Images() const
{
    static const std::vector<SInlineImage> s_none;
    return m_html ? m_html->Images() : s_none;
}

#include "mail/PersonalParts.h"

#include <QDir>
#include <QString>

#include "mail/MessageText.h"

std::string AbsolutePath(const std::string &strPath, const std::string &strFolder)
{
    QString strAbsolute = QString::fromStdString(strPath);
    if (!strPath.starts_with('/'))
        strAbsolute
            = (strFolder.empty() ? QDir::currentPath() + u'/' : QString::fromStdString(strFolder))
            + strAbsolute;
    return QDir::cleanPath(strAbsolute).toStdString();
}

CPersonalParts::CPersonalParts(const std::string &strSubject, const SMessageExtras &extras,
    const CMergeFields &fields, const std::string &strFolder)
    : m_fields(fields)
    , m_strFolder(strFolder)
    , m_subject(Parse(strSubject))
    , m_cc(Parse(extras.strCc))
    , m_bcc(Parse(extras.strBcc))
{
    for (const std::string &strPath : extras.attachments)
        m_attachments.push_back(Parse(strPath));
}

CPersonalParts::SText CPersonalParts::Parse(const std::string &strTemplate) const
{
    SText text {strTemplate, CollectIfStatements(strTemplate, m_fields), false};
    text.bMerged = !text.statements.empty() || !CollectFieldTags(strTemplate, m_fields).empty();
    return text;
}

std::string CPersonalParts::Merge(const SText &text, const CMergeRecord &record) const
{
    return text.bMerged ? ExpandTemplate(text.strTemplate, text.statements, m_fields, record)
                        : text.strTemplate;
}

CPersonalParts::SParts CPersonalParts::Expand(const CMergeRecord &record) const
{
    SParts parts;
    parts.strSubject = Merge(m_subject, record);
    parts.cc = SplitAddressList(Merge(m_cc, record));
    parts.bcc = SplitAddressList(Merge(m_bcc, record));
    for (const SText &path : m_attachments) {
        const std::string strPath = Merge(path, record);
        parts.attachments.push_back(strPath.empty() ? strPath : AbsolutePath(strPath, m_strFolder));
    }
    return parts;
}

std::string CPersonalParts::ChosenFolder(size_t nAttachment) const
{
    const SText &path = m_attachments.at(nAttachment);
    if (!path.bMerged)
        return {};
    const std::string &strTemplate = path.strTemplate;
    size_t nFixed = strTemplate.find("<<");
    if (!path.statements.empty())
        nFixed = std::min<size_t>(nFixed, static_cast<size_t>(path.statements.front().m_nStart));
    const size_t nSlash = strTemplate.rfind('/', nFixed == 0 ? 0 : nFixed - 1);
    if (nSlash == std::string::npos || nFixed == 0)
        return AbsolutePath(".", m_strFolder);
    return AbsolutePath(strTemplate.substr(0, nSlash + 1), m_strFolder);
}

std::string JoinAddresses(const std::vector<std::string> &addresses)
{
    std::string strText;
    for (const std::string &strAddress : addresses)
        strText += (strText.empty() ? "" : ", ") + strAddress;
    return strText;
}

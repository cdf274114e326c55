#include "ui/FrameControls.h"

#include <QLineEdit>

#include "ui/HeaderBar.h"
#include "ui/MergixView.h"

namespace {

QString Q(const std::string &strText)
{
    return QString::fromStdString(strText);
}

} // namespace

void CFrameControls::SetToFieldList(const std::vector<std::string> &names)
{
    m_headerBar.SetToFieldList(names);
}

void CFrameControls::SelectToField(const std::string &strName)
{
    m_headerBar.SelectToField(strName);
}

std::string CFrameControls::SelectedToField() const
{
    return m_headerBar.SelectedToField();
}

std::string CFrameControls::From() const
{
    return m_headerBar.FromEdit()->text().toStdString();
}

void CFrameControls::SetFrom(const std::string &strText)
{
    m_headerBar.FromEdit()->setText(Q(strText));
}

std::string CFrameControls::Subject() const
{
    return m_headerBar.SubjectEdit()->text().toStdString();
}

void CFrameControls::SetSubject(const std::string &strText)
{
    m_headerBar.SubjectEdit()->setText(Q(strText));
}

std::string CFrameControls::ReplyTo() const
{
    return m_headerBar.ReplyToEdit()->text().toStdString();
}

void CFrameControls::SetReplyTo(const std::string &strText)
{
    m_headerBar.ReplyToEdit()->setText(Q(strText));
}

std::string CFrameControls::Body() const
{
    return m_view.PlainText();
}

void CFrameControls::SetBody(const std::string &strText)
{
    m_view.SetPlainText(strText);
}

std::string CFrameControls::FormattedBody() const
{
    return m_view.FormattedHtml();
}

void CFrameControls::SetFormattedBody(const std::string &strHtml)
{
    m_view.SetFormattedHtml(strHtml);
}

SMessageExtras CFrameControls::Extras() const
{
    return m_headerBar.Extras();
}

void CFrameControls::SetExtras(const SMessageExtras &extras)
{
    m_headerBar.SetExtras(extras);
}

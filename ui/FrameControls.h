#pragma once

#include "document/DocumentControls.h"

class CHeaderBar;
class CMergixView;

// The document's view of the frame's live settings: the header bar and the message editor.
class CFrameControls final : public CDocumentControls
{
public:
    CFrameControls(CHeaderBar &headerBar, CMergixView &view) : m_headerBar(headerBar), m_view(view)
    { }

    void SetToFieldList(const std::vector<std::string> &names) override;
    void SelectToField(const std::string &strName) override;
    std::string SelectedToField() const override;
    std::string From() const override;
    void SetFrom(const std::string &strText) override;
    std::string Subject() const override;
    void SetSubject(const std::string &strText) override;
    std::string ReplyTo() const override;
    void SetReplyTo(const std::string &strText) override;
    std::string Body() const override;
    void SetBody(const std::string &strText) override;
    std::string FormattedBody() const override;
    void SetFormattedBody(const std::string &strHtml) override;
    SMessageExtras Extras() const override;
    void SetExtras(const SMessageExtras &extras) override;

private:
    CHeaderBar &m_headerBar;
    CMergixView &m_view;
};

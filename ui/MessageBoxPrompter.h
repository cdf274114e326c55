#pragma once

#include "engine/Prompter.h"

class QMessageBox;
class QPushButton;
class QWidget;

// Shows messages and questions in message boxes captioned "Mergix", over the given window.
class CMessageBoxPrompter final : public CPrompter
{
public:
    explicit CMessageBoxPrompter(QWidget *pParent = nullptr);

    void SetParent(QWidget *pParent) { m_pParent = pParent; }

    void ShowMessage(const std::string &strText, EIcon icon) override;
    bool AskYesNo(const std::string &strText, EIcon icon) override;
    bool AskYesNoDefaultNo(const std::string &strText, EIcon icon) override;
    EAnswer AskYesNoCancel(const std::string &strText, EIcon icon) override;
    bool OfferAction(const std::string &strText, const std::string &strAction, EIcon icon) override;

private:
    QWidget *Owner() const;

    QWidget *m_pParent = nullptr;
};

// Fills the box OfferAction shows (the text, OK and the action's button); returns the action's
// button.
QPushButton *SetUpActionBox(QMessageBox &box, const std::string &strText,
    const std::string &strAction, CPrompter::EIcon icon);

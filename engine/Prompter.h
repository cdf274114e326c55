#pragma once

#include <string>

// Every message and Yes/No question of the program goes through the installed prompter:
// the application installs one that shows message boxes, tests install one that records
// the texts and answers as scripted. Nothing else opens a message box.
class CPrompter
{
public:
    enum class EIcon { Exclamation, Stop, Information, Question };
    enum class EAnswer { Yes, No, Cancel };

    virtual ~CPrompter() = default;

    virtual void ShowMessage(const std::string &strText, EIcon icon) = 0;
    // Returns true for Yes.
    virtual bool AskYesNo(const std::string &strText, EIcon icon) = 0;
    // The same question with No as the default button, for a step that cannot be taken back.
    virtual bool AskYesNoDefaultNo(const std::string &strText, EIcon icon)
    {
        return AskYesNo(strText, icon);
    }
    // A question with Yes, No and Cancel. Without windows there is no Cancel to press.
    virtual EAnswer AskYesNoCancel(const std::string &strText, EIcon icon)
    {
        return AskYesNo(strText, icon) ? EAnswer::Yes : EAnswer::No;
    }

    // A message with OK and one more button for an action; true when the action was chosen.
    // Without windows the message is shown and the action is not offered.
    virtual bool OfferAction(const std::string &strText, const std::string &, EIcon icon)
    {
        ShowMessage(strText, icon);
        return false;
    }

    // Installs the prompter (not owned; it must outlive its use) and returns the previous
    // one. nullptr restores the default, which writes to standard error and answers No.
    static CPrompter *Install(CPrompter *pPrompter);
    static CPrompter &Current();
};

// Shows a message with an OK button, the exclamation icon unless another is named.
void ShowMessage(const std::string &strText, CPrompter::EIcon icon = CPrompter::EIcon::Exclamation);
// Asks a Yes/No question; returns true for Yes.
bool AskYesNo(const std::string &strText, CPrompter::EIcon icon = CPrompter::EIcon::Exclamation);
// Asks with No as the default button: Enter does not take a step that cannot be taken back.
bool AskYesNoDefaultNo(
    const std::string &strText, CPrompter::EIcon icon = CPrompter::EIcon::Exclamation);
CPrompter::EAnswer AskYesNoCancel(
    const std::string &strText, CPrompter::EIcon icon = CPrompter::EIcon::Exclamation);
// A message with OK and a button for an action ("Save failed list..."); true when chosen.
bool OfferAction(const std::string &strText, const std::string &strAction,
    CPrompter::EIcon icon = CPrompter::EIcon::Exclamation);

#pragma once

#include "engine/Prompter.h"

#include <deque>
#include <string>
#include <vector>

// Records every message and question instead of showing it, and answers questions as
// scripted (No when nothing is scripted). Installs itself for its lifetime.
class CRecordingPrompter final : public CPrompter
{
public:
    struct SEntry
    {
        std::string strText;
        EIcon icon;
        bool bQuestion;
        bool bNoByDefault = false;
    };

    CRecordingPrompter();
    ~CRecordingPrompter() override;
    CRecordingPrompter(const CRecordingPrompter &) = delete;
    CRecordingPrompter &operator=(const CRecordingPrompter &) = delete;

    void ShowMessage(const std::string &strText, EIcon icon) override;
    bool AskYesNo(const std::string &strText, EIcon icon) override;
    bool AskYesNoDefaultNo(const std::string &strText, EIcon icon) override;

    // Unscripted, a Yes/No/Cancel question is answered Cancel.
    EAnswer AskYesNoCancel(const std::string &strText, EIcon icon) override;
    // Recorded as a question; the scripted answer Yes chooses the action.
    bool OfferAction(const std::string &strText, const std::string &strAction, EIcon icon) override;
    void ScriptAnswer(bool bYes) { m_answers.push_back(bYes ? EAnswer::Yes : EAnswer::No); }
    void ScriptAnswer(EAnswer answer) { m_answers.push_back(answer); }
    // The texts seen so far, in order, and forgets them.
    std::vector<std::string> TakeTexts();
    const std::vector<SEntry> &Entries() const { return m_entries; }

private:
    CPrompter *m_pPrevious = nullptr;
    std::vector<SEntry> m_entries;
    std::deque<EAnswer> m_answers;
};

#include "support/RecordingPrompter.h"

CRecordingPrompter::CRecordingPrompter() : m_pPrevious(CPrompter::Install(this))
{ }

CRecordingPrompter::~CRecordingPrompter()
{
    CPrompter::Install(m_pPrevious);
}

void CRecordingPrompter::ShowMessage(const std::string &strText, EIcon icon)
{
    m_entries.push_back({strText, icon, false});
}

bool CRecordingPrompter::AskYesNo(const std::string &strText, EIcon icon)
{
    m_entries.push_back({strText, icon, true});
    if (m_answers.empty())
        return false;
    const EAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer == EAnswer::Yes;
}

bool CRecordingPrompter::AskYesNoDefaultNo(const std::string &strText, EIcon icon)
{
    const bool bYes = AskYesNo(strText, icon);
    m_entries.back().bNoByDefault = true;
    return bYes;
}

CPrompter::EAnswer CRecordingPrompter::AskYesNoCancel(const std::string &strText, EIcon icon)
{
    m_entries.push_back({strText, icon, true});
    if (m_answers.empty())
        return EAnswer::Cancel;
    const EAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

bool CRecordingPrompter::OfferAction(const std::string &strText, const std::string &, EIcon icon)
{
    return AskYesNoCancel(strText, icon) == EAnswer::Yes;
}

std::vector<std::string> CRecordingPrompter::TakeTexts()
{
    std::vector<std::string> texts;
    for (const SEntry &entry : m_entries)
        texts.push_back(entry.strText);
    m_entries.clear();
    return texts;
}

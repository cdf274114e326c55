#pragma once

#include <optional>
#include <string>
#include <utility>

#include <QDialog>

#include "mail/MergeRun.h"
#include "mail/RecordList.h"

namespace Ui {
class CChooseRecipientsDlg;
}
class CMergixDoc;
class CSettings;

// "Choose Recipients": every record of the merge's table in a list (the last one read on top),
// selected by hand or by rules, and the default button that runs the merge over the selected
// rows: "&Send Mail", or "&Test Merge" in test mode.
class CChooseRecipientsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CChooseRecipientsDlg)

public:
    // The run's settings come with it (header texts, template, server); its list is this
    // dialog's own.
    CChooseRecipientsDlg(CMergixDoc &doc, CMergeRun::SInput input, QWidget *pParent = nullptr);
    ~CChooseRecipientsDlg() override;

    void SetTestMode(bool bTestMode);
    // Loads every record under the progress window; database failures throw CDaoException.
    void Load();

    CRecordList &List() { return m_list; }
    const std::string &TestResults() const { return m_strTestResults; }
    std::string TakeTestResults() { return std::exchange(m_strTestResults, {}); }
    // A formatted test merge's first messages, and their pictures.
    std::vector<CMergeRun::STestMessage> TakeFormattedTests()
    {
        return std::exchange(m_formattedTests, {});
    }
    const std::vector<SInlineImage> &TestImages() const { return m_testImages; }
    // How the last run ended; nothing before the first.
    std::optional<CMergeRun::EOutcome> LastOutcome() const { return m_lastOutcome; }
    // What the last send did ("12 messages sent."); empty after a test or a send that never
    // started.
    const std::string &SendSummary() const { return m_strSendSummary; }

    void OnSelectAll();
    void OnUnselectAll();
    // The merge run over the selected rows; the dialog ends with OK once it has run.
    void accept() override;

    // The view shows the list's selected rows, and the reverse.
    void ShowListSelection();
    // "12 of 100,000 selected", and whether the load was stopped before the table's end.
    void ShowCount();
    void TakeViewSelection();

    // Offers Select by Rules, over the saved rule sets of these settings.
    void SetRuleSettings(CSettings *pSettings);
    // Select by Rules: the rules dialog, then the rows of the matching records selected and
    // all others not; Cancel leaves the selection as it was.
    void OnSelectByRules();

signals: // F1: the help topic ("sending" or "testing").
    void HelpRequested(const QString &strTopic);

private:
    Ui::CChooseRecipientsDlg *m_pUi;
    CMergixDoc &m_doc;
    CMergeRun::SInput m_input;
    CRecordList m_list;
    std::string m_strTestResults;
    class QLabel *m_pCount;
    size_t m_nTableRecords = 0;
    std::vector<CMergeRun::STestMessage> m_formattedTests;
    std::vector<SInlineImage> m_testImages;
    std::optional<CMergeRun::EOutcome> m_lastOutcome;
    std::string m_strSendSummary;
    bool m_bTestMode = false;
    CSettings *m_pSettings = nullptr;
};

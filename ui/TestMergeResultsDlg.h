#pragma once

#include <string>

#include <QDialog>

#include "mail/MergeRun.h"

namespace Ui {
class CTestMergeResultsDlg;
}

// "Test Mail Merge Results": the text a test run produced, read-only and scrollable.
class CTestMergeResultsDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTestMergeResultsDlg)

public:
    explicit CTestMergeResultsDlg(QWidget *pParent = nullptr);
    ~CTestMergeResultsDlg() override;

    // The results as the merge run collects them, with CR LF line breaks; the dialog keeps this
    // one copy until it is destroyed. Results() is the text shown, with LF breaks.
    void SetResults(std::string strResults);
    const std::string &Results() const;
    // A formatted merge's messages (the first CMergeRun::kShownFormatted of them) shown as they
    // will arrive, one after the other, in place of their text.
    void SetFormattedMessages(
        std::vector<CMergeRun::STestMessage> messages, const std::vector<SInlineImage> &images);

private:
    Ui::CTestMergeResultsDlg *m_pUi;
};

#pragma once

#include <string>

#include <QDialog>

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

private:
    Ui::CTestMergeResultsDlg *m_pUi;
};

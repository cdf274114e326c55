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

    // The results with CR LF line breaks, as the merge run collects them.
    void SetResults(const std::string &strResults);
    std::string Results() const;

private:
    Ui::CTestMergeResultsDlg *m_pUi;
};

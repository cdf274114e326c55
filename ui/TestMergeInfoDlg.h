#pragma once

#include <QDialog>

namespace Ui {
class CTestMergeInfoDlg;
}

// "Test Mail Merge Information": what a test merge does, before the recipients are chosen, with
// "Don't remind me again".
class CTestMergeInfoDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTestMergeInfoDlg)

public:
    explicit CTestMergeInfoDlg(QWidget *pParent = nullptr);
    ~CTestMergeInfoDlg() override;

    // Whether "Don't remind me again" is ticked.
    bool DontRemind() const;

private:
    Ui::CTestMergeInfoDlg *m_pUi;
};

#pragma once

#include <chrono>

#include <QDialog>
#include <QElapsedTimer>

#include "engine/Progress.h"

namespace Ui {
class CProgressDlg;
}

// The progress window of long operations on the window thread: status line, bar, percentage
// and Cancel. It has no parent, so that it stays usable while it disables its owner (the main
// window) for as long as it shows; an owner that was disabled already stays so afterwards.
// Cancel and Esc only raise a flag, which CheckCancel reports once. The window appears only
// when the operation takes longer than m_showDelay, so quick ones do not flash it; the owner is
// disabled from the start all the same.
class CProgressDlg final : public QDialog, public CProgress
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CProgressDlg)

public:
    // The owner is the window to disable while the progress shows.
    explicit CProgressDlg(QWidget *pOwner = nullptr, const QString &strCaption = {});
    ~CProgressDlg() override;

    void Create() override;
    void SetCaption(const std::string &strText) override;
    void SetStatusText(const std::string &strText) override;
    void SetBarRange(int nLow, int nHigh) override;
    int SetBarPos(int nPos) override;
    int SetBarStep(int nStep) override;
    int StepBar() override;
    bool CheckCancel() override;
    void DestroyWindow() override;

    // The percentage for a position: integer arithmetic, and a range with equal ends reads 0%.
    static int Percent(int nPos, int nLow, int nHigh);

    std::chrono::milliseconds m_showDelay {300};

protected:
    void reject() override; // Cancel and Esc
    void closeEvent(QCloseEvent *pEvent) override;

private:
    void ShowPercent(int nPos);
    void LetEventsThrough();

    Ui::CProgressDlg *m_pUi;
    QWidget *m_pOwner;
    int m_nRangeLow = 0;
    int m_nRangeHigh = 100;
    int m_nStepSize = 10;
    bool m_bCancelPressed = false;
    bool m_bOwnerDisabled = false;
    bool m_bCreated = false;
    QElapsedTimer m_sinceCreate;
};

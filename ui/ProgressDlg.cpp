#include "ui/ProgressDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QWindow>

#include "ui_ProgressDlg.h"

CProgressDlg::CProgressDlg(QWidget *pOwner, const QString &strCaption)
    : QDialog(nullptr), m_pUi(new Ui::CProgressDlg), m_pOwner(pOwner)
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("progressDlg"));
    setWindowTitle(strCaption.isEmpty() ? QStringLiteral("Loading database...") : strCaption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_pUi->progressBar->setRange(m_nRangeLow, m_nRangeHigh);
    m_pUi->progressBar->setValue(m_nRangeLow);
    connect(m_pUi->cancelButton, &QPushButton::clicked, this, &CProgressDlg::reject);
}

CProgressDlg::~CProgressDlg()
{
    DestroyWindow();
    delete m_pUi;
}

void CProgressDlg::Create()
{
    if (m_pOwner && m_pOwner->window()->isEnabled()) {
        m_pOwner->window()->setEnabled(false);
        m_bOwnerDisabled = true;
    }
    m_bCreated = true;
    m_sinceCreate.start();
    LetEventsThrough();
}

void CProgressDlg::SetCaption(const std::string &strText)
{
    setWindowTitle(QString::fromStdString(strText));
}

void CProgressDlg::SetStatusText(const std::string &strText)
{
    m_pUi->statusText->setText(QString::fromStdString(strText));
}

void CProgressDlg::SetBarRange(int nLow, int nHigh)
{
    m_nRangeLow = nLow;
    m_nRangeHigh = nHigh;
    m_pUi->progressBar->setRange(nLow, nHigh);
}

int CProgressDlg::SetBarPos(int nPos)
{
    LetEventsThrough();
    const int nPrevious = m_pUi->progressBar->value();
    m_pUi->progressBar->setValue(nPos);
    ShowPercent(nPos);
    return nPrevious;
}

int CProgressDlg::SetBarStep(int nStep)
{
    const int nPrevious = m_nStepSize;
    m_nStepSize = nStep;
    return nPrevious;
}

int CProgressDlg::StepBar()
{
    LetEventsThrough();
    const int nPrevious = m_pUi->progressBar->value();
    // The bar stops at its end, as a progress control does; the percentage follows the step.
    m_pUi->progressBar->setValue(std::min(nPrevious + m_nStepSize, m_nRangeHigh));
    ShowPercent(nPrevious + m_nStepSize);
    return nPrevious;
}

bool CProgressDlg::CheckCancel()
{
    LetEventsThrough();
    const bool bPressed = m_bCancelPressed;
    m_bCancelPressed = false;
    return bPressed;
}

void CProgressDlg::DestroyWindow()
{
    if (m_bOwnerDisabled && m_pOwner)
        m_pOwner->window()->setEnabled(true);
    m_bOwnerDisabled = false;
    m_bCreated = false;
    hide();
}

int CProgressDlg::Percent(int nPos, int nLow, int nHigh)
{
    if (nHigh == nLow)
        return 0;
    const long long nPercent
        = (static_cast<long long>(nPos) - nLow) * 100 / (static_cast<long long>(nHigh) - nLow);
    return static_cast<int>(nPercent == 100 ? 100 : nPercent % 100);
}

void CProgressDlg::reject()
{
    m_bCancelPressed = true; // the operation decides; the window stays
}

void CProgressDlg::closeEvent(QCloseEvent *pEvent)
{
    m_bCancelPressed = true;
    pEvent->ignore();
}

void CProgressDlg::ShowPercent(int nPos)
{
    const QString strText = QString::number(Percent(nPos, m_nRangeLow, m_nRangeHigh)) + u'%';
    if (m_pUi->percentText->text() != strText)
        m_pUi->percentText->setText(strText);
}

void CProgressDlg::LetEventsThrough()
{
    if (m_bCreated && !isVisible() && m_sinceCreate.elapsed() >= m_showDelay.count()) {
        if (m_pOwner && m_pOwner->window()->windowHandle()) {
            winId(); // makes the native window, so that it can stand over its owner
            windowHandle()->setTransientParent(m_pOwner->window()->windowHandle());
        }
        show();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

#include "ui/LockIndicators.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>

#include "ui/X11LockState.h"

namespace {

QLabel *AddIndicator(QStatusBar *pStatusBar, const QString &strText, const QString &strName)
{
    auto *pLabel = new QLabel(strText, pStatusBar);
    pLabel->setObjectName(strName);
    pLabel->setAlignment(Qt::AlignCenter);
    pLabel->setMinimumWidth(pLabel->fontMetrics().horizontalAdvance(strText) + 12);
    pLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pStatusBar->addPermanentWidget(pLabel);
    return pLabel;
}

} // namespace

CLockIndicators::CLockIndicators(QStatusBar *pStatusBar) : QObject(pStatusBar)
{
    m_bAvailable = ReadX11LockState().has_value();
    if (!m_bAvailable)
        return;
    m_pCaps = AddIndicator(pStatusBar, QStringLiteral("CAP"), QStringLiteral("capsLockIndicator"));
    m_pNum = AddIndicator(pStatusBar, QStringLiteral("NUM"), QStringLiteral("numLockIndicator"));
    m_pScroll
        = AddIndicator(pStatusBar, QStringLiteral("SCRL"), QStringLiteral("scrollLockIndicator"));
    qGuiApp->installEventFilter(this);
    Update();
}

void CLockIndicators::Update()
{
    const std::optional<unsigned int> state = ReadX11LockState();
    if (!state)
        return;
    const unsigned int nState = *state;
    m_pCaps->setEnabled((nState & 0x1) != 0);
    m_pNum->setEnabled((nState & 0x2) != 0);
    m_pScroll->setEnabled((nState & 0x4) != 0);
}

bool CLockIndicators::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    const QEvent::Type type = pEvent->type();
    if (type == QEvent::KeyRelease || type == QEvent::ApplicationStateChange
        || type == QEvent::WindowActivate)
        Update();
    return QObject::eventFilter(pWatched, pEvent);
}

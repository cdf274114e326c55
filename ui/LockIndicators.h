#pragma once

#include <QObject>

class QLabel;
class QStatusBar;

// The Caps Lock, Num Lock and Scroll Lock indicators of the status bar. The state is read
// through XKB when the program runs on X11; elsewhere the platform does not tell it, and the
// indicators are left out rather than shown wrong. Brought up to date after each key and
// whenever a window of the program becomes active.
class CLockIndicators final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLockIndicators)

public:
    explicit CLockIndicators(QStatusBar *pStatusBar);

    // Whether the platform reports the lock keys at all.
    bool IsAvailable() const { return m_bAvailable; }
    void Update();

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    bool m_bAvailable = false;
    QLabel *m_pCaps = nullptr;
    QLabel *m_pNum = nullptr;
    QLabel *m_pScroll = nullptr;
};

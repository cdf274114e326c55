#pragma once

#include <QDialog>

class QTextBrowser;

// The user guide, bundled as HTML in the program's resources.
class CHelpWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHelpWindow)

public:
    explicit CHelpWindow(QWidget *pParent = nullptr);

    // Shows the guide at a topic's anchor ("sending", "testing").
    void ShowTopic(const QString &strAnchor);

private:
    QTextBrowser *m_pBrowser;
};

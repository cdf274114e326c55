#pragma once

#include <QDialog>
#include <QVariant>

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

// Shows the guide at the anchor in a window of the owner's: the owner is the window the user
// is in, so that the guide can be scrolled while a modal dialog is open; Esc closes the guide,
// not the dialog.
void ShowHelpWindow(QWidget &owner, const QString &strAnchor);
// The guide's topic for a window of the program, by its object name. A message box or a file
// dialog takes the topic of the window it was opened from; the main window that of the command
// it runs.
QString HelpTopicOf(const QWidget &window);
// The topic of a main window command, by its action's object name ("actionSendMail").
QString CommandHelpTopic(const QString &strAction);
// Marks the command the main window runs for as long as it lives, so that F1 in the message
// boxes and file dialogs the command shows opens the command's topic.
class CRunningCommandTopic final
{
    Q_DISABLE_COPY_MOVE(CRunningCommandTopic)

public:
    CRunningCommandTopic(QWidget &frame, const QString &strAction);
    ~CRunningCommandTopic();

private:
    QWidget &m_frame;
    QVariant m_previous;
};

// F1 in any dialog that has no help of its own opens the guide at the dialog's topic; Shift+F1
// there explains the focused control, or enters What's This mode for one without a text.
class CDialogHelpKey final : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;
};

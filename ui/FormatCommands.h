#pragma once

#include <QList>
#include <QObject>

class CMergixView;
class QAction;
class QComboBox;
class QFontComboBox;
class QLabel;
class QMainWindow;
class QMenu;
class QToolBar;

// The Format menu, the formatting toolbar and the status bar's "Formatted" mark of the main
// window, all working on the message editor. The first formatting makes the message formatted;
// Plain Text makes it plain again after asking.
class CFormatCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFormatCommands)

public:
    CFormatCommands(QMainWindow &frame, CMergixView &view);

    QMenu *Menu() const { return m_pMenu; }
    QToolBar *ToolBar() const { return m_pToolBar; }
    // The commands that need an editable message.
    const QList<QAction *> &Actions() const { return m_actions; }
    // Shows the state of the text at the cursor: bold, font, list...
    void ShowCursorFormat();

private:
    QAction *Add(const char *pName, const QString &strText, const QKeySequence &key,
        const QString &strPrompt, const char *pIcon);
    void OnLink();
    void OnPicture();
    void OnFont();
    void OnColor();
    void OnPlainText();
    void ShowFormatted(bool bFormatted);

    QMainWindow &m_frame;
    CMergixView &m_view;
    QMenu *m_pMenu;
    QToolBar *m_pToolBar;
    QFontComboBox *m_pFontBox;
    QComboBox *m_pSizeBox;
    QLabel *m_pFormattedMark;
    QList<QAction *> m_actions;
    QAction *m_pBold = nullptr;
    QAction *m_pItalic = nullptr;
    QAction *m_pUnderline = nullptr;
    QAction *m_pBullets = nullptr;
    QAction *m_pNumbers = nullptr;
    QAction *m_pLeft = nullptr;
    QAction *m_pCenter = nullptr;
    QAction *m_pRight = nullptr;
    QAction *m_pPlain = nullptr;
};

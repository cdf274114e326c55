#pragma once

#include <string>

#include <QTextEdit>

class QMenu;

// The message editor: rich text is shown (pasted formatting stays on screen), plain text goes
// in and out with CR LF line breaks. Gray and read-only while no merge is set up.
class CMergixView final : public QTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMergixView)

public:
    explicit CMergixView(QWidget *pParent = nullptr);

    // The whole text, line breaks as CR LF.
    std::string PlainText() const;
    // Replaces the whole text in the default font; not a change by the user.
    void SetPlainText(const std::string &strText);
    // Editable and enabled while a merge is set up.
    void SetReady(bool bReady);

    // The context menu as shown at this moment: Cut and Copy only with a selection.
    QMenu *CreatePopupMenu();

    // Selects the next match from the caret (backward when asked); false when there is none.
    bool FindText(const QString &strText, QTextDocument::FindFlags flags);
    // Replaces every match in the whole text as one undo step; how many were replaced.
    int ReplaceAll(const QString &strText, const QString &strWith, QTextDocument::FindFlags flags);

signals:
    // The user changed the text (typing, paste, cut, undo, drop).
    void EditedByUser();

protected:
    void contextMenuEvent(QContextMenuEvent *pEvent) override;

private:
    bool m_bSettingText = false;
};

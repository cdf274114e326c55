#pragma once

#include <string>

#include <QTextEdit>
#include <QTextListFormat>

class QMenu;

// The message editor. A message is plain until the user formats it (the Format menu): plain,
// it goes in and out as plain text with CR LF line breaks and pasting keeps no formatting;
// formatted, it goes out as HTML and as its plain-text twin. Gray and read-only while no merge
// is set up.
class CMergixView final : public QTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMergixView)

public:
    explicit CMergixView(QWidget *pParent = nullptr);

    // The whole text, line breaks as CR LF; for a formatted message its plain-text twin.
    std::string PlainText() const;
    // Replaces the whole text in the default font; not a change by the user.
    void SetPlainText(const std::string &strText);
    bool IsFormatted() const { return m_bFormatted; }
    // The formatted message as HTML; empty while it is plain.
    std::string FormattedHtml() const;
    // Shows the HTML formatted; empty HTML leaves the text (set before) plain. Not a change by
    // the user.
    void SetFormattedHtml(const std::string &strHtml);
    // Makes the message plain: its words stay, links as "text (URL)".
    void MakePlain();

    // Formatting, each of the selection or the word at the cursor; each makes the message
    // formatted.
    void SetBold(bool bBold);
    void SetItalic(bool bItalic);
    void SetUnderline(bool bUnderline);
    void SetFontFamily(const QString &strFamily);
    void SetFontSize(qreal dPoints);
    void SetTextColor(const QColor &color);
    // Of the paragraphs in the selection.
    void SetList(QTextListFormat::Style style); // ListStyleUndefined ends the list
    void SetAlignment(Qt::Alignment alignment);
    // Makes the selection a link, or inserts the text as one when nothing is selected.
    void InsertLink(const QString &strUrl, const QString &strText);
    // A picture from a file, at most 600 pixels wide on screen and in the message.
    bool InsertPicture(const QString &strPath);

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
    // The message became formatted or plain.
    void FormattedChanged(bool bFormatted);

protected:
    void contextMenuEvent(QContextMenuEvent *pEvent) override;
    void insertFromMimeData(const QMimeData *pSource) override;

private:
    void MarkFormatted();
    // Of the selection or the word at the cursor, tags kept whole; the message becomes formatted.
    void ApplyCharFormat(const QTextCharFormat &format);
    void SetFormatted(bool bFormatted);

    bool m_bSettingText = false;
    bool m_bFormatted = false;
};

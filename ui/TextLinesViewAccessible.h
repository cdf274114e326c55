#pragma once

#include <QAccessibleWidget>

class CTextLinesView;

// What a screen reader sees of a CTextLinesView: a read-only multi-line text, read by
// character, word, row or line around the caret without the whole text being copied.
// Offsets are Qt's, in UTF-16 units.
class CTextLinesViewAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit CTextLinesViewAccessible(CTextLinesView *pView);

    // For QAccessible::installFactory.
    static QAccessibleInterface *Create(const QString &strClassName, QObject *pObject);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;

    void selection(int nSelection, int *pStart, int *pEnd) const override;
    int selectionCount() const override;
    void addSelection(int nStart, int nEnd) override;
    void removeSelection(int nSelection) override;
    void setSelection(int nSelection, int nStart, int nEnd) override;
    int cursorPosition() const override;
    void setCursorPosition(int nPosition) override;
    QString text(QAccessible::Text which) const override;
    QString text(int nStart, int nEnd) const override;
    QString textBeforeOffset(
        int nOffset, QAccessible::TextBoundaryType boundary, int *pStart, int *pEnd) const override;
    QString textAfterOffset(
        int nOffset, QAccessible::TextBoundaryType boundary, int *pStart, int *pEnd) const override;
    QString textAtOffset(
        int nOffset, QAccessible::TextBoundaryType boundary, int *pStart, int *pEnd) const override;
    int characterCount() const override;
    QRect characterRect(int nOffset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int nStart, int nEnd) override;
    QString attributes(int nOffset, int *pStart, int *pEnd) const override;

private:
    CTextLinesView *View() const;
    size_t ByteOffset(int nOffset) const;
    int Utf16Offset(size_t nOffset) const;
};

#include "ui/TextLinesViewAccessible.h"

#include <QWidget>

#include "ui/TextLinesView.h"

namespace {

// One line of the text, for Qt's own word and sentence boundaries, which read the whole of the
// text they are given: given the line, they never copy all of it.
class CLineText final : public QAccessibleTextInterface
{
public:
    explicit CLineText(QString text) : m_text(std::move(text)) { }

    QString text(int nStart, int nEnd) const override { return m_text.mid(nStart, nEnd - nStart); }
    int characterCount() const override { return static_cast<int>(m_text.size()); }

    // Nothing else is asked of it.
    void selection(int, int *pStart, int *pEnd) const override { *pStart = *pEnd = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override { }
    QString attributes(int, int *pStart, int *pEnd) const override
    {
        *pStart = *pEnd = 0;
        return {};
    }

private:
    QString m_text;
};

} // namespace

CTextLinesViewAccessible::CTextLinesViewAccessible(CTextLinesView *pView)
    : QAccessibleWidget(pView, QAccessible::EditableText)
{ }

QAccessibleInterface *CTextLinesViewAccessible::Create(
    const QString &strClassName, QObject *pObject)
{
    if (strClassName == QLatin1String("CTextLinesView") && pObject && pObject->isWidgetType())
        return new CTextLinesViewAccessible(static_cast<CTextLinesView *>(pObject));
    return nullptr;
}

CTextLinesView *CTextLinesViewAccessible::View() const
{
    return static_cast<CTextLinesView *>(widget());
}

size_t CTextLinesViewAccessible::ByteOffset(int nOffset) const
{
    return View()->Lines().OffsetOfUtf16(static_cast<size_t>(std::max(0, nOffset)));
}

int CTextLinesViewAccessible::Utf16Offset(size_t nOffset) const
{
    return static_cast<int>(View()->Lines().Utf16Of(nOffset));
}

void *CTextLinesViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State CTextLinesViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

void CTextLinesViewAccessible::selection(int nSelection, int *pStart, int *pEnd) const
{
    *pStart = *pEnd = 0;
    if (nSelection != 0 || selectionCount() == 0)
        return;
    const auto [nBegin, nEnd] = View()->Selection();
    *pStart = Utf16Offset(nBegin);
    *pEnd = Utf16Offset(nEnd);
}

int CTextLinesViewAccessible::selectionCount() const
{
    const auto [nBegin, nEnd] = View()->Selection();
    return nBegin < nEnd ? 1 : 0;
}

void CTextLinesViewAccessible::addSelection(int nStart, int nEnd)
{
    setSelection(0, nStart, nEnd);
}

void CTextLinesViewAccessible::removeSelection(int nSelection)
{
    if (nSelection == 0)
        View()->SetSelection(View()->Caret(), View()->Caret());
}

void CTextLinesViewAccessible::setSelection(int nSelection, int nStart, int nEnd)
{
    if (nSelection == 0)
        View()->SetSelection(ByteOffset(nStart), ByteOffset(nEnd));
}

int CTextLinesViewAccessible::cursorPosition() const
{
    return Utf16Offset(View()->Caret());
}

void CTextLinesViewAccessible::setCursorPosition(int nPosition)
{
    const size_t nOffset = ByteOffset(nPosition);
    View()->SetSelection(nOffset, nOffset);
}

QString CTextLinesViewAccessible::text(QAccessible::Text which) const
{
    return QAccessibleWidget::text(which);
}

QString CTextLinesViewAccessible::text(int nStart, int nEnd) const
{
    const int nCount = characterCount();
    if (nEnd < 0 || nEnd > nCount)
        nEnd = nCount;
    if (nStart < 0 || nStart >= nEnd)
        return {};
    const size_t nBegin = ByteOffset(nStart);
    const std::string_view text
        = std::string_view(View()->Lines().Text()).substr(nBegin, ByteOffset(nEnd) - nBegin);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString CTextLinesViewAccessible::textAtOffset(
    int nOffset, QAccessible::TextBoundaryType boundary, int *pStart, int *pEnd) const
{
    const CTextLines &lines = View()->Lines();
    const int nCount = characterCount();
    if (nOffset == -2)
        nOffset = cursorPosition();
    else if (nOffset == -1)
        nOffset = nCount;
    *pStart = *pEnd = -1;
    if (nOffset < 0 || nOffset > nCount)
        return {};
    const size_t nByte = ByteOffset(nOffset);
    // [begin, end) of a row or a line, with its line break
    const auto span = [&](size_t nBegin, size_t nEnd) {
        *pStart = Utf16Offset(nBegin);
        *pEnd = Utf16Offset(nEnd);
        return text(*pStart, *pEnd);
    };
    const size_t nLine = lines.LineOf(nByte);
    const size_t nLineEnd
        = nLine + 1 < lines.LineCount() ? lines.LineBegin(nLine + 1) : lines.Size();
    switch (boundary) {
    case QAccessible::NoBoundary:
        return span(0, lines.Size());
    case QAccessible::LineBoundary: {
        const size_t nRow = lines.RowOf(nByte);
        return span(lines.RowBegin(nRow),
            nRow + 1 < lines.RowCount() ? lines.RowBegin(nRow + 1) : lines.Size());
    }
    case QAccessible::ParagraphBoundary:
        return span(lines.LineBegin(nLine), nLineEnd);
    default: {
        const int nLineStart = Utf16Offset(lines.LineBegin(nLine));
        const CLineText line(text(nLineStart, Utf16Offset(nLineEnd)));
        const QString found = line.textAtOffset(nOffset - nLineStart, boundary, pStart, pEnd);
        if (*pStart >= 0) {
            *pStart += nLineStart;
            *pEnd += nLineStart;
        }
        return found;
    }
    }
}

QString CTextLinesViewAccessible::textBeforeOffset(
    int nOffset, QAccessible::TextBoundaryType boundary, int *pStart, int *pEnd) const
{
    if (nOffset == -2)
        nOffset = cursorPosition();
    int nStart = -1;
    int nEnd = -1;
    textAtOffset(nOffset, boundary, &nStart, &nEnd);
    const int nFrom = nStart >= 0 ? nStart : nOffset;
    *pStart = *pEnd = -1;
    return nFrom > 0 ? textAtOffset(nFrom - 1, boundary, pStart, pEnd) : QString();
}

QString CTextLinesViewAccessible::textAfterOffset(
    int nOffset, QAccessible::TextBoundaryType boundary, int *pStart, int *pEnd) const
{
    int nStart = -1;
    int nEnd = -1;
    textAtOffset(nOffset, boundary, &nStart, &nEnd);
    *pStart = *pEnd = -1;
    return nEnd >= 0 && nEnd < characterCount() ? textAtOffset(nEnd, boundary, pStart, pEnd)
                                                : QString();
}

int CTextLinesViewAccessible::characterCount() const
{
    return static_cast<int>(View()->Lines().Utf16Size());
}

QRect CTextLinesViewAccessible::characterRect(int nOffset) const
{
    const QRect rect = View()->CharacterRect(ByteOffset(nOffset));
    return QRect(View()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int CTextLinesViewAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint local = View()->viewport()->mapFromGlobal(point);
    if (!View()->viewport()->rect().contains(local))
        return -1;
    return Utf16Offset(View()->OffsetAt(local));
}

void CTextLinesViewAccessible::scrollToSubstring(int nStart, int /*nEnd*/)
{
    View()->ScrollTo(ByteOffset(nStart));
}

QString CTextLinesViewAccessible::attributes(int nOffset, int *pStart, int *pEnd) const
{
    // One plain text: no run of it differs from the rest.
    Q_UNUSED(nOffset)
    *pStart = 0;
    *pEnd = characterCount();
    return {};
}

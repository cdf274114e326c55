#include "ui/TextLinesView.h"

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include "ui/TextLinesViewAccessible.h"

namespace {

constexpr int kMargin = 4;

QString TextOf(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CTextLinesView::CTextLinesView(QWidget *pParent) : QAbstractScrollArea(pParent)
{
    static const bool bAccessible = [] {
        QAccessible::installFactory(&CTextLinesViewAccessible::Create);
        return true;
    }();
    Q_UNUSED(bAccessible)
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // rows wrap at the width
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
}

void CTextLinesView::SetText(std::string strText)
{
    m_lines = CTextLines();
    // Until it is shown the view has no width of its own: it wraps when it gets one.
    m_lines = CTextLines(std::move(strText), isVisible() ? Columns() : 0);
    m_nCaret = m_nAnchor = m_nGoalColumn = 0;
    Rewrap();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

std::pair<size_t, size_t> CTextLinesView::Selection() const
{
    return std::minmax(m_nAnchor, m_nCaret);
}

void CTextLinesView::SetSelection(size_t nAnchor, size_t nCaret)
{
    m_nAnchor = std::min(nAnchor, m_lines.Size());
    MoveCaret(nCaret, true);
}

QString CTextLinesView::SelectedText() const
{
    const auto [nBegin, nEnd] = Selection();
    return TextOf(std::string_view(m_lines.Text()).substr(nBegin, nEnd - nBegin));
}

void CTextLinesView::SelectAll()
{
    SetSelection(0, m_lines.Size());
}

void CTextLinesView::Copy() const
{
    if (m_nAnchor != m_nCaret)
        QApplication::clipboard()->setText(SelectedText());
}

int CTextLinesView::RowHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int CTextLinesView::VisibleRows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int CTextLinesView::TopRow() const
{
    return verticalScrollBar()->value();
}

int CTextLinesView::RowX(size_t nRow, size_t nOffset) const
{
    const size_t nBegin = m_lines.RowBegin(nRow);
    return kMargin
        + fontMetrics().horizontalAdvance(
            TextOf(std::string_view(m_lines.Text()).substr(nBegin, nOffset - nBegin)));
}

QRect CTextLinesView::CharacterRect(size_t nOffset) const
{
    nOffset = std::min(nOffset, m_lines.Size());
    const size_t nRow = m_lines.RowOf(nOffset);
    const size_t nNext = m_lines.NextChar(nOffset);
    const int nWidth = nOffset < m_lines.RowEnd(nRow)
        ? fontMetrics().horizontalAdvance(
            TextOf(std::string_view(m_lines.Text()).substr(nOffset, nNext - nOffset)))
        : fontMetrics().horizontalAdvance(QLatin1Char(' '));
    const int nY = (static_cast<int>(nRow) - TopRow()) * RowHeight();
    return QRect(RowX(nRow, nOffset), nY, nWidth, RowHeight());
}

size_t CTextLinesView::OffsetAt(const QPoint &point) const
{
    const int nRowOnScreen
        = point.y() < 0 ? -1 - (-point.y() - 1) / RowHeight() : point.y() / RowHeight();
    const size_t nRow = static_cast<size_t>(
        std::clamp<qint64>(qint64(TopRow()) + nRowOnScreen, 0, qint64(m_lines.RowCount()) - 1));
    const size_t nEnd = m_lines.RowEnd(nRow);
    const QFontMetrics metrics = fontMetrics();
    int nX = kMargin;
    for (size_t p = m_lines.RowBegin(nRow); p < nEnd;) {
        const size_t nNext = m_lines.NextChar(p);
        const int nWidth = metrics.horizontalAdvance(
            TextOf(std::string_view(m_lines.Text()).substr(p, nNext - p)));
        if (point.x() < nX + nWidth / 2)
            return p;
        nX += nWidth;
        p = nNext;
    }
    return nEnd;
}

void CTextLinesView::ScrollTo(size_t nOffset)
{
    const int nRow = static_cast<int>(m_lines.RowOf(std::min(nOffset, m_lines.Size())));
    if (nRow < TopRow())
        verticalScrollBar()->setValue(nRow);
    else if (nRow >= TopRow() + VisibleRows())
        verticalScrollBar()->setValue(nRow - VisibleRows() + 1);
}

size_t CTextLinesView::Columns() const
{
    const int nColumnWidth = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
    return static_cast<size_t>(std::max(1, (viewport()->width() - 2 * kMargin) / nColumnWidth));
}

void CTextLinesView::Rewrap()
{
    const size_t nTopOffset = m_lines.RowBegin(
        static_cast<size_t>(std::min<qint64>(TopRow(), qint64(m_lines.RowCount()) - 1)));
    m_lines.Wrap(Columns());
    UpdateScrollRange();
    verticalScrollBar()->setValue(static_cast<int>(m_lines.RowOf(nTopOffset)));
}

void CTextLinesView::UpdateScrollRange()
{
    QScrollBar *pBar = verticalScrollBar();
    pBar->setRange(0, std::max(0, static_cast<int>(m_lines.RowCount()) - VisibleRows()));
    pBar->setPageStep(VisibleRows());
}

void CTextLinesView::paintEvent(QPaintEvent * /*pEvent*/)
{
    QPainter painter(viewport());
    const QPalette &colours = palette();
    const QFontMetrics metrics = fontMetrics();
    const auto [nSelectionBegin, nSelectionEnd] = Selection();
    const int nRowHeight = RowHeight();
    const int nHeight = viewport()->height();
    for (size_t nRow = static_cast<size_t>(TopRow()); nRow < m_lines.RowCount(); ++nRow) {
        const int nY = (static_cast<int>(nRow) - TopRow()) * nRowHeight;
        if (nY >= nHeight)
            break;
        const QString text = TextOf(m_lines.RowText(nRow));
        const size_t nBegin = m_lines.RowBegin(nRow);
        const size_t nEnd = m_lines.RowEnd(nRow);
        painter.setPen(colours.color(QPalette::Text));
        painter.drawText(kMargin, nY + metrics.ascent(), text);
        // The selected part again, over its highlight; a selected line break shows as a space.
        if (nSelectionBegin < nSelectionEnd && nSelectionBegin <= nEnd && nSelectionEnd > nBegin) {
            const int nLeft = RowX(nRow, std::max(nSelectionBegin, nBegin));
            const int nRight = nSelectionEnd > nEnd
                ? RowX(nRow, nEnd) + metrics.horizontalAdvance(QLatin1Char(' '))
                : RowX(nRow, nSelectionEnd);
            const QRect selected(nLeft, nY, nRight - nLeft, nRowHeight);
            painter.fillRect(selected, colours.brush(QPalette::Highlight));
            painter.save();
            painter.setClipRect(selected);
            painter.setPen(colours.color(QPalette::HighlightedText));
            painter.drawText(kMargin, nY + metrics.ascent(), text);
            painter.restore();
        }
    }
    if (hasFocus()) {
        const QRect caret = CharacterRect(m_nCaret);
        painter.fillRect(
            QRect(caret.left(), caret.top(), 1, caret.height()), colours.brush(QPalette::Text));
    }
}

void CTextLinesView::resizeEvent(QResizeEvent *pEvent)
{
    QAbstractScrollArea::resizeEvent(pEvent);
    Rewrap();
}

void CTextLinesView::changeEvent(QEvent *pEvent)
{
    QAbstractScrollArea::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange) {
        Rewrap();
        viewport()->update();
    }
}

void CTextLinesView::keyPressEvent(QKeyEvent *pEvent)
{
    if (pEvent == QKeySequence::Copy) {
        Copy();
        return;
    }
    if (pEvent == QKeySequence::SelectAll) {
        SelectAll();
        return;
    }
    const bool bExtend = pEvent->modifiers() & Qt::ShiftModifier;
    const bool bWhole = pEvent->modifiers() & Qt::ControlModifier;
    const size_t nRow = m_lines.RowOf(m_nCaret);
    const size_t nLastRow = m_lines.RowCount() - 1;
    const auto toRow = [&](qint64 nTarget) {
        const size_t nTo = static_cast<size_t>(std::clamp<qint64>(nTarget, 0, qint64(nLastRow)));
        MoveCaret(m_lines.OffsetInRow(nTo, m_nGoalColumn), bExtend, true);
    };
    switch (pEvent->key()) {
    case Qt::Key_Left:
        MoveCaret(m_lines.PreviousChar(m_nCaret), bExtend);
        break;
    case Qt::Key_Right:
        MoveCaret(m_lines.NextChar(m_nCaret), bExtend);
        break;
    case Qt::Key_Up:
        toRow(qint64(nRow) - 1);
        break;
    case Qt::Key_Down:
        toRow(qint64(nRow) + 1);
        break;
    case Qt::Key_PageUp:
        toRow(qint64(nRow) - VisibleRows());
        break;
    case Qt::Key_PageDown:
        toRow(qint64(nRow) + VisibleRows());
        break;
    case Qt::Key_Home:
        MoveCaret(bWhole ? 0 : m_lines.RowBegin(nRow), bExtend);
        break;
    case Qt::Key_End:
        MoveCaret(bWhole ? m_lines.Size() : m_lines.RowEnd(nRow), bExtend);
        break;
    default:
        pEvent->ignore(); // Enter, Esc and Tab belong to the dialog
        return;
    }
    pEvent->accept();
}

void CTextLinesView::mousePressEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(pEvent);
        return;
    }
    MoveCaret(OffsetAt(pEvent->position().toPoint()), pEvent->modifiers() & Qt::ShiftModifier);
}

void CTextLinesView::mouseMoveEvent(QMouseEvent *pEvent)
{
    if (pEvent->buttons() & Qt::LeftButton)
        MoveCaret(OffsetAt(pEvent->position().toPoint()), true);
}

void CTextLinesView::contextMenuEvent(QContextMenuEvent *pEvent)
{
    QMenu menu(this);
    QAction *pCopy = menu.addAction(QStringLiteral("&Copy"), this, &CTextLinesView::Copy);
    pCopy->setShortcut(QKeySequence::Copy);
    pCopy->setEnabled(m_nAnchor != m_nCaret);
    QAction *pAll = menu.addAction(QStringLiteral("Select &All"), this, &CTextLinesView::SelectAll);
    pAll->setShortcut(QKeySequence::SelectAll);
    menu.exec(pEvent->globalPos());
}

void CTextLinesView::focusInEvent(QFocusEvent *pEvent)
{
    QAbstractScrollArea::focusInEvent(pEvent);
    viewport()->update();
}

void CTextLinesView::focusOutEvent(QFocusEvent *pEvent)
{
    QAbstractScrollArea::focusOutEvent(pEvent);
    viewport()->update();
}

void CTextLinesView::MoveCaret(size_t nOffset, bool bExtend, bool bKeepColumn)
{
    const bool bHadSelection = m_nAnchor != m_nCaret;
    m_nCaret = std::min(nOffset, m_lines.Size());
    if (!bExtend)
        m_nAnchor = m_nCaret;
    if (!bKeepColumn)
        m_nGoalColumn = m_lines.ColumnOf(m_nCaret);
    ScrollTo(m_nCaret);
    viewport()->update();
    const bool bSelection = m_nAnchor != m_nCaret;
    if (QAccessible::isActive()) {
        const int nCaret = static_cast<int>(m_lines.Utf16Of(m_nCaret));
        if (bSelection || bHadSelection) {
            const auto [nBegin, nEnd] = Selection();
            QAccessibleTextSelectionEvent event(this, static_cast<int>(m_lines.Utf16Of(nBegin)),
                static_cast<int>(m_lines.Utf16Of(nEnd)));
            event.setCursorPosition(nCaret);
            QAccessible::updateAccessibility(&event);
        } else {
            QAccessibleTextCursorEvent event(this, nCaret);
            QAccessible::updateAccessibility(&event);
        }
    }
}

#pragma once

#include <string>
#include <utility>

#include <QAbstractScrollArea>

#include "engine/TextLines.h"

// A read-only view of a long text that keeps it once, as UTF-8, and lays out only the rows on
// screen: a test merge of many records shows without the text document's copy. Rows wrap at
// the view's width; the caret, selection, Copy and the accessibility interface work as in a
// read-only text edit. Positions are byte offsets into Lines().Text().
class CTextLinesView final : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTextLinesView)

public:
    explicit CTextLinesView(QWidget *pParent = nullptr);

    void SetText(std::string strText);
    const CTextLines &Lines() const { return m_lines; }

    size_t Caret() const { return m_nCaret; }
    // [begin, end), empty when nothing is selected.
    std::pair<size_t, size_t> Selection() const;
    void SetSelection(size_t nAnchor, size_t nCaret);
    QString SelectedText() const;
    void SelectAll();
    void Copy() const;

    // In the viewport's coordinates.
    QRect CharacterRect(size_t nOffset) const;
    size_t OffsetAt(const QPoint &point) const;
    void ScrollTo(size_t nOffset);
    int TopRow() const;

protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void resizeEvent(QResizeEvent *pEvent) override;
    void changeEvent(QEvent *pEvent) override;
    void keyPressEvent(QKeyEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void contextMenuEvent(QContextMenuEvent *pEvent) override;
    void focusInEvent(QFocusEvent *pEvent) override;
    void focusOutEvent(QFocusEvent *pEvent) override;

private:
    size_t Columns() const; // that fit the viewport's width
    void Rewrap();
    void UpdateScrollRange();
    int VisibleRows() const;
    int RowHeight() const;
    int RowX(size_t nRow, size_t nOffset) const;
    void MoveCaret(size_t nOffset, bool bExtend, bool bKeepColumn = false);

    CTextLines m_lines;
    size_t m_nCaret = 0;
    size_t m_nAnchor = 0;
    size_t m_nGoalColumn = 0; // kept while the caret moves up and down
};

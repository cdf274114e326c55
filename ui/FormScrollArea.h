#pragma once

#include <QScrollArea>

// A form that scrolls up and down when the screen is too small for it: it asks for its whole
// height, and is never narrower than its fields.
class CFormScrollArea final : public QScrollArea
{
    Q_OBJECT

public:
    explicit CFormScrollArea(QWidget *pParent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

private:
    int ScrollBarAndFrameWidth() const;
};

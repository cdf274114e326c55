#include "ui/Artwork.h"

#include <algorithm>

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kBlue(0x1f, 0x4e, 0x8c);
const QColor kLight(0xe8, 0xf0, 0xfb);

void DrawEnvelope(QPainter &painter, const QRectF &rect)
{
    painter.setPen(QPen(kBlue, std::max(1.0, rect.width() / 16)));
    painter.setBrush(kLight);
    painter.drawRoundedRect(rect, rect.width() / 12, rect.width() / 12);
    QPainterPath flap;
    flap.moveTo(rect.topLeft());
    flap.lineTo(rect.center().x(), rect.top() + rect.height() * 0.6);
    flap.lineTo(rect.topRight());
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(flap);
}

QPixmap Picture(int nSize, bool bOpen)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = nSize;
    if (bOpen) { // a folder behind the envelope
        painter.setPen(QPen(QColor(0x9a, 0x6b, 0x10), s / 16));
        painter.setBrush(QColor(0xf6, 0xd3, 0x7a));
        painter.drawRoundedRect(QRectF(s * 0.05, s * 0.15, s * 0.9, s * 0.7), s / 14, s / 14);
    }
    DrawEnvelope(painter, QRectF(s * 0.2, s * 0.35, s * 0.6, s * 0.45));
    if (!bOpen) { // a star for a new merge
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xf0, 0xa0, 0x20));
        painter.drawEllipse(QPointF(s * 0.78, s * 0.3), s * 0.14, s * 0.14);
    }
    return pixmap;
}

// The application icon drawn at the size asked for when it is asked for: drawing every size
// ahead, up to 256 pixels, cost a noticeable part of the program's start.
class CEnvelopeIconEngine final : public QIconEngine
{
public:
    void paint(QPainter *pPainter, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        pPainter->save();
        pPainter->setRenderHint(QPainter::Antialiasing);
        const double side = std::min(rect.width(), rect.height());
        DrawEnvelope(*pPainter,
            QRectF(rect.x() + side * 0.08, rect.y() + side * 0.2, side * 0.84, side * 0.6));
        pPainter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode eMode, QIcon::State eState) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), eMode, eState);
        return pixmap;
    }

    QIconEngine *clone() const override { return new CEnvelopeIconEngine; }
};

} // namespace

QIcon ApplicationIcon()
{
    return QIcon(new CEnvelopeIconEngine);
}

QPixmap BannerPixmap(int nWidth, int nHeight)
{
    QPixmap pixmap(nWidth, nHeight);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, nWidth, 0);
    gradient.setColorAt(0, kBlue);
    gradient.setColorAt(1, QColor(0x4f, 0x8f, 0xd8));
    painter.fillRect(pixmap.rect(), gradient);
    DrawEnvelope(painter, QRectF(nHeight * 0.25, nHeight * 0.22, nHeight * 0.8, nHeight * 0.56));
    QFont font = painter.font();
    font.setPixelSize(nHeight * 2 / 5);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(
        QRectF(nHeight * 1.3, 0, nWidth, nHeight), Qt::AlignVCenter, QStringLiteral("Mergix"));
    return pixmap;
}

QPixmap CreateMergePixmap(int nSize)
{
    return Picture(nSize, false);
}

QPixmap OpenMergePixmap(int nSize)
{
    return Picture(nSize, true);
}

#include "device/MicVolumeView.h"

#include <QPainter>
#include <QPainterPath>

MicVolumeView::MicVolumeView(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
}

void MicVolumeView::updateUI(double position)
{
    const int level = int(position);
    if (level != m_level) {
        m_level = level;
        emit levelChanged();
    }
    update();
}

void MicVolumeView::paint(QPainter *painter)
{
    const qreal w = width();
    painter->setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::white);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);

    const QRectF capsule(0.375 * w, 0, 0.25 * w, 0.6 * w);
    QPainterPath capsulePath;
    capsulePath.addRoundedRect(capsule, capsule.width() / 2, capsule.width() / 2);
    painter->drawPath(capsulePath);

    const qreal fillHeight = capsule.height() * m_level / 100 + (m_level != 0 ? 2 : 0);
    QPainterPath rising;
    rising.addRect(QRectF(capsule.left(), capsule.bottom() - fillHeight, capsule.width(), fillHeight));
    painter->fillPath(capsulePath.intersected(rising), Qt::white);

    pen.setWidth(2);
    painter->setPen(pen);
    painter->drawArc(QRectF(0.25 * w, 0.2 * w, 0.5 * w, 0.5 * w), 180 * 16, 180 * 16);
    painter->drawLine(QPointF(0.5 * w, 0.7 * w), QPointF(0.5 * w, w));

    pen.setWidth(3);
    painter->setPen(pen);
    painter->drawLine(QPointF(0.375 * w, w), QPointF(0.625 * w, w));
}

#include "media/video/XImageView.h"

#include "media/video/Placeholder.h"

#include <QDebug>
#include <QPainter>

XImageView::~XImageView() { emit viewDestroying(this); }

XImageView::XImageView(QQuickItem *parent)
    : QQuickPaintedItem(parent)
    , m_repaint(this)
{
    // About 30 repaints a second: vendors deliver at most that many frames.
    m_repaint.setInterval(33);
    connect(&m_repaint, &QTimer::timeout, this, [this]() {
        QMutexLocker lock(&m_mutex);
        update();
    });
    m_repaint.start();
}

QImage XImageView::image() const
{
    QMutexLocker lock(&m_mutex);
    return m_image;
}

void XImageView::setImage(const QImage &image)
{
    QMutexLocker lock(&m_mutex);
    if (!m_busy)
        m_image = image;
}

void XImageView::flushFirstView(QString path, int width, int height)
{
    const QImage image = placeholder::compose(path, width, height, QSize(m_width, m_height));
    if (image.isNull()) {
        qDebug() << "image null";
        return;
    }
    setImage(image);
}

void XImageView::zoomDraw(float z) { m_zoom = z; }

void XImageView::paint(QPainter *painter)
{
    QMutexLocker lock(&m_mutex);
    m_busy = true;
    if (m_image.isNull()) {
        if (m_fileUrl.isEmpty())
            qDebug() << "file is not exsit!";
        else if (!m_image.load(placeholder::resourcePath(m_fileUrl)))
            qDebug() << "load image file failed!";
    }
    if (!m_image.isNull()) {
        painter->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        painter->drawImage(QRectF(0, 0, m_width * m_zoom, m_height * m_zoom), m_image);
    }
    m_busy = false;
}

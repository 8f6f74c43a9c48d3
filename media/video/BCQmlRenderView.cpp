#include "media/video/BCQmlRenderView.h"

#include "media/video/Placeholder.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <QDebug>
#include <QQuickWindow>

BCQmlRenderView::BCQmlRenderView(QQuickItem *parent)
    : QQuickItem(parent)
{
    connect(this, &QQuickItem::windowChanged, this, &BCQmlRenderView::handleWindowChanged);
    connect(this, &BCQmlRenderView::newVideoContentReceived, this, &BCQmlRenderView::onNewVideoContentReceived);
    connect(this, qOverload<>(&BCQmlRenderView::renderFrame), this, &BCQmlRenderView::onRenderFrame);
}

BCQmlRenderView::~BCQmlRenderView()
{
    emit viewDestroying(this);
    if (m_surface && m_surface->isActive())
        m_surface->stop();
}

void BCQmlRenderView::setVideoSurface(QAbstractVideoSurface *surface)
{
    if (m_surface && m_surface != surface && m_surface->isActive())
        m_surface->stop();
    m_surface = surface;
    if (m_surface && m_format.isValid())
        m_surface->start(m_format);
}

QSize BCQmlRenderView::frameSize() const
{
    QMutexLocker lock(&m_mutex);
    return QSize(m_width, m_height);
}

bool BCQmlRenderView::tryBeginFrame()
{
    QMutexLocker lock(&m_mutex);
    if (m_busy)
        return false;
    m_busy = true;
    return true;
}

void BCQmlRenderView::endFrame()
{
    QMutexLocker lock(&m_mutex);
    m_busy = false;
}

void BCQmlRenderView::updateRotation(int rotation)
{
    if (rotation != m_rotation) {
        m_rotation = rotation;
        emit setRotate(rotation);
    }
}

bool BCQmlRenderView::renderFrame(const AVFrame *frame, int rotation)
{
    if (!frame || !tryBeginFrame())
        return false;
    updateRotation(rotation);
    QVideoFrame::PixelFormat pixel = QVideoFrame::Format_Invalid;
    if (frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P)
        pixel = QVideoFrame::Format_YUV420P;
    else if (frame->format == AV_PIX_FMT_NV12)
        pixel = QVideoFrame::Format_NV12;
    if (pixel == QVideoFrame::Format_Invalid) {
        endFrame();
        return false;
    }
    {
        QMutexLocker lock(&m_mutex);
        if (!m_format.isValid() || m_format.pixelFormat() != pixel)
            m_format = QVideoSurfaceFormat(QSize(frame->width, frame->height), pixel);
        if (frame->width > 0 && frame->height > 0 && (frame->width != m_width || frame->height != m_height)) {
            m_width = frame->width;
            m_height = frame->height;
            m_frame.reset();
        }
        const int bytes = av_image_get_buffer_size(AVPixelFormat(frame->format), frame->width, frame->height, 1);
        if (!m_frame && bytes > 0)
            m_frame = std::make_unique<QVideoFrame>(bytes, QSize(frame->width, frame->height), frame->width, pixel);
        if (m_frame && m_frame->map(QAbstractVideoBuffer::WriteOnly)) {
            av_image_copy_to_buffer(m_frame->bits(), bytes, frame->data, frame->linesize, AVPixelFormat(frame->format),
                frame->width, frame->height, 1);
            m_frame->unmap();
            m_frame->setStartTime(0);
        }
        m_busy = false;
    }
    emit renderFrame();
    return true;
}

bool BCQmlRenderView::renderFrame(const QVideoFrame &frame, int rotation)
{
    if (!tryBeginFrame())
        return false;
    updateRotation(rotation);
    {
        QMutexLocker lock(&m_mutex);
        if (frame.width() > 0 && frame.height() > 0) {
            m_width = frame.width();
            m_height = frame.height();
        }
        m_busy = false;
    }
    emit newVideoContentReceived(frame);
    return true;
}

void BCQmlRenderView::onRenderFrame()
{
    QMutexLocker lock(&m_mutex);
    if (m_busy || !m_frame || !m_surface)
        return;
    if (!m_surface->isActive() || m_surface->surfaceFormat().pixelFormat() != m_format.pixelFormat()
        || m_surface->surfaceFormat().frameSize() != QSize(m_width, m_height)) {
        m_surface->stop();
        m_format = QVideoSurfaceFormat(QSize(m_width, m_height), m_format.pixelFormat());
        m_surface->start(m_format);
    }
    m_surface->present(*m_frame);
}

void BCQmlRenderView::onNewVideoContentReceived(QVideoFrame frame)
{
    if (!m_surface)
        return;
    if (!m_surface->isActive() || m_surface->surfaceFormat().pixelFormat() != frame.pixelFormat()
        || m_surface->surfaceFormat().frameSize() != frame.size()) {
        m_surface->stop();
        m_format = QVideoSurfaceFormat(frame.size(), frame.pixelFormat());
        m_surface->start(m_format);
    }
    m_surface->present(frame);
}

void BCQmlRenderView::geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    QQuickItem::geometryChanged(newGeometry, oldGeometry);
    if (newGeometry.size() == oldGeometry.size())
        return;
    m_format = QVideoSurfaceFormat(newGeometry.size().toSize(), QVideoFrame::Format_YUV420P);
    if (m_surface && m_surface->isActive()) {
        m_surface->stop();
        m_format = m_surface->nearestFormat(m_format);
        m_surface->start(m_format);
    }
    emit viewSizeChanged(qRound(newGeometry.width()), qRound(newGeometry.height()));
}

void BCQmlRenderView::handleWindowChanged(QQuickWindow *win)
{
    if (win)
        connect(win, &QQuickWindow::sceneGraphInvalidated, this, &BCQmlRenderView::cleanup, Qt::DirectConnection);
}

void BCQmlRenderView::cleanup() { flushFirstView(); }

void BCQmlRenderView::flushFirstView(QString path, int width, int height)
{
    const QSize size = frameSize();
    qDebug() << "w:" << size.width() << ",h:" << size.height();
    const QImage image = placeholder::compose(path, width, height, size);
    if (image.isNull()) {
        qDebug() << "image null";
        return;
    }
    renderFrame(QVideoFrame(image.convertToFormat(QImage::Format_RGB32)), 0);
}

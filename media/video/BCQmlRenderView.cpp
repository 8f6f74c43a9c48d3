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
    {
        QMutexLocker lock(&m_mutex);
        if (rotation == m_rotation)
            return;
        m_rotation = rotation;
    }
    emit setRotate(rotation);
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
    const int bytes = av_image_get_buffer_size(AVPixelFormat(frame->format), frame->width, frame->height, 1);
    if (pixel == QVideoFrame::Format_Invalid || frame->width <= 0 || frame->height <= 0 || bytes <= 0) {
        endFrame();
        return false;
    }
    // A fresh frame each time: the surface keeps the frames it was given and
    // paints them on its own thread, so a presented frame is never written
    // again. The busy flag keeps other entries out while this one copies.
    QVideoFrame copy(bytes, QSize(frame->width, frame->height), frame->width, pixel);
    if (!copy.map(QAbstractVideoBuffer::WriteOnly)) {
        endFrame();
        return false;
    }
    av_image_copy_to_buffer(
        copy.bits(), bytes, frame->data, frame->linesize, AVPixelFormat(frame->format), frame->width, frame->height, 1);
    copy.unmap();
    copy.setStartTime(0);
    {
        QMutexLocker lock(&m_mutex);
        m_frame = copy;
        m_width = frame->width;
        m_height = frame->height;
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
    QVideoFrame frame;
    {
        QMutexLocker lock(&m_mutex);
        // A newer frame is being copied: it announces itself when done.
        if (m_busy || !m_frame.isValid())
            return;
        frame = m_frame;
    }
    presentFrame(frame);
}

void BCQmlRenderView::onNewVideoContentReceived(QVideoFrame frame) { presentFrame(frame); }

void BCQmlRenderView::presentFrame(const QVideoFrame &frame)
{
    if (!m_surface)
        return;
    // The surface's format describes the frames it is given, whichever entry
    // they came through.
    const QVideoSurfaceFormat current = m_surface->surfaceFormat();
    if (!m_surface->isActive() || current.pixelFormat() != frame.pixelFormat() || current.frameSize() != frame.size()) {
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
    // The surface is left alone: its format is that of the frames, which a
    // resize does not change; the output scales them to the item itself.
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

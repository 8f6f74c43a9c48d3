#include "media/video/VideoViews.h"

#include "media/video/BCQmlRenderView.h"
#include "media/video/VideoFrameConvert.h"
#include "media/video/XImageView.h"

#include <QTransform>

VideoViews::VideoViews(QObject *parent)
    : QObject(parent)
{
}

void VideoViews::watch(QQuickItem *view)
{
    if (auto *renderView = qobject_cast<BCQmlRenderView *>(view))
        connect(
            renderView, &BCQmlRenderView::viewDestroying, this, [this](QQuickItem *gone) { drop(gone); },
            Qt::DirectConnection);
    else if (auto *imageView = qobject_cast<XImageView *>(view))
        connect(
            imageView, &XImageView::viewDestroying, this, [this](QQuickItem *gone) { drop(gone); },
            Qt::DirectConnection);
}

void VideoViews::drop(QQuickItem *gone)
{
    QMutexLocker lock(&m_mutex);
    if (m_local == gone)
        m_local.clear();
    for (auto it = m_remote.begin(); it != m_remote.end();)
        it = it.value() == gone ? m_remote.erase(it) : std::next(it);
}

void VideoViews::setLocal(QQuickItem *view)
{
    watch(view);
    QMutexLocker lock(&m_mutex);
    m_local = view;
}

void VideoViews::setRemote(const QString &id, QQuickItem *view)
{
    watch(view);
    QMutexLocker lock(&m_mutex);
    m_remote.insert(id, view);
}

bool VideoViews::drawLocal(const FrameSource &frame, int rotation)
{
    QMutexLocker lock(&m_mutex);
    if (!m_local)
        return false;
    draw(m_local, frame, rotation);
    return true;
}

bool VideoViews::drawRemote(const QString &id, const FrameSource &frame, int rotation)
{
    QMutexLocker lock(&m_mutex);
    QQuickItem *view = m_remote.value(id);
    if (!view)
        return false;
    draw(view, frame, rotation);
    return true;
}

void VideoViews::draw(QQuickItem *view, const FrameSource &source, int rotation)
{
    auto *renderView = qobject_cast<BCQmlRenderView *>(view);
    auto *imageView = renderView ? nullptr : qobject_cast<XImageView *>(view);
    if (!renderView && !imageView)
        return;
    ffmpeg::FramePtr frame = source();
    if (!frame)
        return;
    if (renderView) {
        renderView->renderFrame(frame.get(), rotation);
        return;
    }
    QImage image = videoconvert::toImage(frame.get());
    imageView->setImage(rotation ? image.transformed(QTransform().rotate(rotation)) : image);
}

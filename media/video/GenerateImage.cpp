#include "media/video/GenerateImage.h"

#include "app/TSpdlog.h"
#include "media/video/BCQmlRenderView.h"
#include "media/video/XImageView.h"

namespace
{
[[noreturn]] void fatal(const char *what)
{
    TSpdlog::fatalExit(QStringLiteral("Fatal:error ") + QString::fromLatin1(what));
}
} // namespace

GenerateImage::GenerateImage(QObject *parent)
    : QObject(parent)
{
}

void GenerateImage::setRenderView(QQuickItem *item)
{
    auto *view = qobject_cast<BCQmlRenderView *>(item);
    if (!view)
        fatal("video convert point error");
    m_view = view;
}

void GenerateImage::setRenderImageView(QQuickPaintedItem *item)
{
    auto *view = qobject_cast<XImageView *>(item);
    if (!view)
        fatal("img convert point error");
    m_imageView = view;
}

void GenerateImage::renderFrame(const AVFrame *frame)
{
    if (m_view)
        m_view->renderFrame(frame, m_rotation);
}

void GenerateImage::renderFrame(const QVideoFrame &frame)
{
    if (m_view)
        m_view->renderFrame(frame, m_rotation);
    // The software preview paints pictures: the camera's frame becomes one.
    if (m_imageView)
        m_imageView->setImage(frame.image());
}

#pragma once

#include "media/ffmpeg/FFmpegPtr.h"

#include <QObject>
#include <QPointer>
#include <QVideoFrame>

class BCQmlRenderView;
class QQuickItem;
class QQuickPaintedItem;
class XImageView;

// The device preview's pair of views ("cppGenerate").
class GenerateImage : public QObject
{
    Q_OBJECT
public:
    explicit GenerateImage(QObject *parent = nullptr);

    Q_INVOKABLE void setRenderView(QQuickItem *item);
    Q_INVOKABLE void setRenderImageView(QQuickPaintedItem *item);

    void renderFrame(const AVFrame *frame);
    void renderFrame(const QVideoFrame &frame);
    void setRotation(int rotation) { m_rotation = rotation; }

private:
    QPointer<BCQmlRenderView> m_view;
    QPointer<XImageView> m_imageView;
    int m_rotation = 0;
};

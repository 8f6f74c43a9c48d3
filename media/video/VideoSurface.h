#pragma once

#include <QAbstractVideoSurface>

// The camera's surface: hands every frame on as it comes.
class VideoSurface : public QAbstractVideoSurface
{
    Q_OBJECT
public:
    using QAbstractVideoSurface::QAbstractVideoSurface;

    QList<QVideoFrame::PixelFormat> supportedPixelFormats(
        QAbstractVideoBuffer::HandleType type = QAbstractVideoBuffer::NoHandle) const override
    {
        Q_UNUSED(type)
        return { QVideoFrame::Format_RGB32 };
    }

public slots:
    bool present(const QVideoFrame &frame) override
    {
        emit generateFrame(frame);
        return true;
    }

signals:
    void generateFrame(QVideoFrame frame);
};

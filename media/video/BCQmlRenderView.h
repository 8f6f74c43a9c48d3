#pragma once

#include "media/ffmpeg/FFmpegPtr.h"

#include <QAbstractVideoSurface>
#include <QMutex>
#include <QPointer>
#include <QQuickItem>
#include <QVideoFrame>
#include <QVideoSurfaceFormat>

// A video tile: native code pushes frames from any thread, the picture reaches
// a Qt Multimedia surface (a VideoOutput in QML) on the GUI thread. A frame
// that arrives while the previous one is still being copied is dropped.
class BCQmlRenderView : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(QAbstractVideoSurface *videoSurface READ videoSurface WRITE setVideoSurface)
public:
    explicit BCQmlRenderView(QQuickItem *parent = nullptr);
    ~BCQmlRenderView() override;

    QAbstractVideoSurface *videoSurface() const { return m_surface; }
    void setVideoSurface(QAbstractVideoSurface *surface);

    // Frame entries (any thread). False when the frame was dropped.
    bool renderFrame(const AVFrame *frame, int rotation);
    bool renderFrame(const QVideoFrame &frame, int rotation);

    Q_INVOKABLE void flushFirstView(QString path = QString(), int width = 0, int height = 0);

    QSize frameSize() const;
    // The busy guard of the frame entries, for callers that copy in steps.
    bool tryBeginFrame();
    void endFrame();

signals:
    void setRotate(int rotation);
    void setMirror(bool mirror);
    void viewSizeChanged(int width, int height);
    void newVideoContentReceived(QVideoFrame frame);
    void renderFrame();
    // First thing in the destructor, on the GUI thread: frame sources that hold
    // the view on other threads drop it here (connect directly).
    void viewDestroying(BCQmlRenderView *view);

public slots:
    void handleWindowChanged(QQuickWindow *win);
    void cleanup();
    void onNewVideoContentReceived(QVideoFrame frame);
    void onRenderFrame();

protected:
    void geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    void updateRotation(int rotation);
    // GUI thread: (re)starts the surface for the frame's format, then shows it.
    void presentFrame(const QVideoFrame &frame);

    // Shared with the frame entries, under m_mutex.
    mutable QMutex m_mutex;
    bool m_busy = false;
    int m_rotation = 0;
    QVideoFrame m_frame; // the newest copied frame; never written once stored
    int m_width = 240;
    int m_height = 180;

    // GUI thread only: the surface and the format it was last started with.
    QPointer<QAbstractVideoSurface> m_surface;
    QVideoSurfaceFormat m_format;
};

#pragma once

#include "media/ffmpeg/FFmpegPtr.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QQuickItem>

#include <functional>

// The tiles an engine draws into: set on the GUI thread, drawn into on the
// SDK's render thread. A tile is dropped under the same lock the render
// thread draws under, so a destroyed tile is never drawn into.
class VideoViews : public QObject
{
    Q_OBJECT
public:
    using FrameSource = std::function<ffmpeg::FramePtr()>;

    explicit VideoViews(QObject *parent = nullptr);

    void setLocal(QQuickItem *view);
    void setRemote(const QString &id, QQuickItem *view);

    // Both build the frame only when a tile is there to take it; rotation in
    // degrees. They return whether a tile was there.
    bool drawLocal(const FrameSource &frame, int rotation = 0);
    bool drawRemote(const QString &id, const FrameSource &frame, int rotation = 0);

private:
    void watch(QQuickItem *view);
    void drop(QQuickItem *gone);
    static void draw(QQuickItem *view, const FrameSource &source, int rotation);

    QPointer<QQuickItem> m_local; // under m_mutex
    QHash<QString, QPointer<QQuickItem>> m_remote; // under m_mutex, key: the vendor's user or stream id
    QMutex m_mutex;
};

#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>

class QScreen;
class QWindow;

// Keeps a window at its screen's zoom factor. Its QML content is laid out in
// 96-DPI units and drawn scaled by `zoom`, so on a 144-DPI screen it shows
// what a 96-DPI screen shows, half as large again. Moved to a screen with
// another factor, the window is resized so its content keeps its size.
class WindowZoom : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double zoom READ zoom NOTIFY zoomChanged)
public:
    // Sizes `window` to `logicalSize` at its screen's factor.
    WindowZoom(QWindow *window, QSize logicalSize, QObject *parent = nullptr);

    double zoom() const { return m_zoom; }

signals:
    void zoomChanged(double zoom);

private:
    void follow(QScreen *screen);

    QPointer<QWindow> m_window;
    double m_zoom = 1.0;
};

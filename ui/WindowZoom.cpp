#include "ui/WindowZoom.h"

#include "ui/Tools_QWidget.h"

#include <QScreen>
#include <QWindow>

WindowZoom::WindowZoom(QWindow *window, QSize logicalSize, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_zoom(Tools_QWidget::zoomFactor(window->screen()))
{
    window->resize(logicalSize * m_zoom);
    connect(window, &QWindow::screenChanged, this, &WindowZoom::follow);
}

void WindowZoom::follow(QScreen *screen)
{
    const double zoom = Tools_QWidget::zoomFactor(screen);
    if (!screen || qFuzzyCompare(zoom, m_zoom))
        return;
    const double ratio = zoom / m_zoom;
    m_zoom = zoom;
    if (m_window)
        m_window->resize(m_window->size() * ratio);
    emit zoomChanged(m_zoom);
}

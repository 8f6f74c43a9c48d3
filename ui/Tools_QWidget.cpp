#include "ui/Tools_QWidget.h"

#include <QScreen>

double Tools_QWidget::zoomFactor(int devicePixelRatio, int logicalDpi)
{
    if (devicePixelRatio == 1) {
        if (logicalDpi <= 96)
            return 1.0;
        if (logicalDpi <= 120)
            return 1.25;
        if (logicalDpi <= 144)
            return 1.5;
        if (logicalDpi <= 168)
            return 1.75;
        return 2.0;
    }
    if (devicePixelRatio == 2) {
        if (logicalDpi <= 72)
            return 1.5;
        if (logicalDpi <= 84)
            return 1.75;
        return 2.0;
    }
    return 1.0;
}

double Tools_QWidget::zoomFactor(const QScreen *screen)
{
    if (!screen)
        return 1.0;
    return zoomFactor(static_cast<int>(screen->devicePixelRatio()), static_cast<int>(screen->logicalDotsPerInch()));
}

#pragma once

class QScreen;

// Zoom factor table for placing windows on high-DPI screens.
class Tools_QWidget
{
public:
    // Both inputs truncated to integers, as the screens report them.
    static double zoomFactor(int devicePixelRatio, int logicalDpi);
    static double zoomFactor(const QScreen *screen);
};

import QtQuick 2.12
import QtQuick.Window 2.12

// The video window moved out of the classroom window. Its object name is the
// one the lock-screen focus filter lets through for the video window; a
// second instance finds it by its title.
Window {
    id: videoWindow
    objectName: "m_videoViewLoader"
    title: "lumira_video"
    flags: Qt.Tool | Qt.WindowStaysOnTopHint
    // The main window's zoom factor: the window is placed on that window's screen.
    property real zoom: 1
    width: 300 * zoom
    height: 620 * zoom
    color: "#151a24"

    // Beside `main` (the main window's rectangle), on its screen: to the
    // right, or to the left when the right has no room, inside `area` (that
    // screen's available rectangle); `top` is where the main window's content
    // starts, below its title bar.
    function placeBeside(main, area, top) {
        var gap = 8
        var h = Math.min(height, area.height)
        var x = main.x + main.width + gap
        if (x + width > area.x + area.width)
            x = main.x - width - gap
        if (x < area.x)
            x = area.x + area.width - width // no room on either side: at the screen's right edge
        var y = Math.max(area.y, Math.min(main.y + top, area.y + area.height - h))
        var screens = Qt.application.screens
        for (var i = 0; i < screens.length; ++i) {
            var s = screens[i]
            if (x >= s.virtualX && x < s.virtualX + s.width && y >= s.virtualY && y < s.virtualY + s.height)
                screen = s
        }
        height = h
        videoWindow.x = x
        videoWindow.y = y
    }
}

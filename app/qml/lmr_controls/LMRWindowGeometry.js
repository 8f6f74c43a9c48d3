.pragma library

// Window rectangles in screen pixels, for the classroom window's moves.

// The available rectangle of the screen under the window's centre.
function availableRect(tool, win) {
    var at = Qt.point(win.x + win.width / 2, win.y + win.height / 2)
    return Qt.rect(tool.getNowAvailableX(at), tool.getNowAvailableY(at),
                   tool.getNowAvailableWidth(at), tool.getNowAvailableHeight(at))
}

function rectOf(win) {
    return Qt.rect(win.x, win.y, win.width, win.height)
}

function place(win, r) {
    win.x = r.x
    win.y = r.y
    win.width = r.width
    win.height = r.height
}

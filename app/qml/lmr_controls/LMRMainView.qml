import QtQuick 2.12

// The view's root: the classroom window, laid out in 96-DPI units and drawn
// at the zoom factor of the screen the window is on.
Item {
    id: frame
    objectName: "root_frame"
    readonly property real zoom: typeof cppWindowZoom !== "undefined" && cppWindowZoom ? cppWindowZoom.zoom : 1

    LMRWindow {
        zoom: frame.zoom
        width: frame.width / zoom
        height: frame.height / zoom
        scale: zoom
        transformOrigin: Item.TopLeft
    }

    LMRDeviceEvents {}
}

import QtQuick 2.12
import QtQuick.Controls 2.12

// A title-bar menu, made the first time it is opened: it hangs below its
// button, right edges aligned, and scales from its top left.
Loader {
    id: loader
    property Item button
    property real zoom: 1
    active: false

    function open() {
        active = true
        item.open()
    }

    onLoaded: {
        item.parent = button
        item.scale = Qt.binding(function () { return loader.zoom })
        item.transformOrigin = Popup.TopLeft
        item.y = Qt.binding(function () { return button.height + 4 })
        item.x = Qt.binding(function () { return button.width - item.width })
    }
}

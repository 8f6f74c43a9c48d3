import QtQuick 2.12
import "qrc:/controls"

// One-to-one class: teacher above, student below.
Column {
    id: videoWindow
    property alias model: tiles.model
    spacing: 8

    // The tile of the member whose vendor id is `id` (or whose uid is).
    function tileFor(id) {
        for (var i = 0; i < tiles.count; ++i) {
            var t = tiles.itemAt(i)
            if (t && (t.agoraId === id || t.uid === id))
                return t
        }
        return null
    }
    function tileAt(i) { return tiles.itemAt(i) }
    property alias count: tiles.count

    Repeater {
        id: tiles
        delegate: AVideoView {
            width: videoWindow.width
            height: width * 3 / 4
            uid: model.uid
            agoraId: model.agoraId
            name: model.name
            role: model.role
            isOnline: model.isOnline
            isShowBackground: model.isShowBackground
        }
    }
}

import QtQuick 2.12
import "qrc:/controls"

// One-to-many class: the teacher first, then the students, in a grid.
Grid {
    id: videoWindow
    property alias model: tiles.model
    property int tileColumns: 2
    columns: tileColumns
    spacing: 6

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
            width: (videoWindow.width - (videoWindow.columns - 1) * videoWindow.spacing) / videoWindow.columns
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

import QtQuick 2.12
import "qrc:/controls"

// One-to-many class: the teacher first, then the students, in a grid.
Grid {
    id: videoWindow
    property alias model: tiles.model
    property int tileColumns: 2
    columns: tileColumns
    spacing: 6

    // The number of persons in the class, as the window counted them.
    property int userNum: 0
    function setUserNum(n) { userNum = n }

    // The tile of the member whose uid or vendor id (of any engine) is `id`.
    function tileFor(id) {
        if (id === "")
            return null
        for (var i = 0; i < tiles.count; ++i) {
            var t = tiles.itemAt(i)
            if (t && (t.uid === id || t.agoraId === id || t.iliveId === id || t.trtcId === id || t.zgrtcId === id))
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
            iliveId: model.iliveId
            trtcId: model.trtcId
            zgrtcId: model.zgrtcId
            name: model.name
            role: model.role
            isOnline: model.isOnline
            isShowBackground: model.isShowBackground
        }
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import QtMultimedia 5.12
import BCQmlRenderView 1.0
import cpu.macRender.image 1.0

// One video tile: the picture, a role placeholder until video arrives, a
// name bar and the online badge.
Rectangle {
    id: tile

    property string uid: ""
    property string agoraId: ""
    property string iliveId: ""
    property string trtcId: ""
    property string zgrtcId: ""
    property string name: ""
    property string role: "student"
    property bool isOnline: false
    property bool isShowBackground: true
    property int micLevel: 0 // 0..100, the speaking indicator
    // "SOFT" paints images on the CPU; the other modes hand frames to the scene graph.
    readonly property bool softRender: typeof cppConfigFile !== "undefined" && cppConfigFile.getQMLRender() === "SOFT"
    readonly property var videoWidget: softRender ? null : videoLoader.item
    readonly property var imageWidget: softRender ? videoLoader.item : null

    // The item an engine draws into.
    function view() { return videoLoader.item }
    function flushFirstView(path) {
        if (videoLoader.item)
            videoLoader.item.flushFirstView(path)
        isShowBackground = false
    }
    function updateBackgroundShow(flag) { isShowBackground = flag }

    color: "#1f2633"
    radius: 6
    clip: true

    Loader {
        id: videoLoader
        anchors.fill: parent
        visible: !tile.isShowBackground
        sourceComponent: tile.softRender ? imagePath : gpuPath
    }
    Component {
        id: gpuPath
        BCQmlRenderView {
            id: renderView
            VideoOutput {
                anchors.fill: parent
                source: renderView
                fillMode: VideoOutput.PreserveAspectCrop
            }
        }
    }
    Component {
        id: imagePath
        XImageView {}
    }

    Image {
        anchors.centerIn: parent
        width: Math.min(parent.width, parent.height) * 0.5
        height: width
        visible: tile.isShowBackground
        sourceSize: Qt.size(width, height)
        source: "qrc:/images/video/" + (tile.role === "teacher" ? "tea" : "stu") + "_himg_"
                + (tile.isOnline ? "online" : "offline") + ".svg"
    }

    Rectangle {
        id: nameBar
        anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
        height: 24
        color: "#99000000"
        // A narrow tile keeps the name readable: the badge shrinks to a dot.
        readonly property bool compact: tile.width < 200
        Text {
            id: nameText
            objectName: "nameText"
            anchors { left: parent.left; leftMargin: 8; right: micLevel.left; rightMargin: 6
                      verticalCenter: parent.verticalCenter }
            text: tile.name
            color: "white"
            font.pixelSize: 12
            elide: Text.ElideRight
        }
        HoverHandler { id: nameHover }
        ToolTip.visible: nameHover.hovered && tile.name !== ""
        ToolTip.text: tile.name
        ToolTip.delay: 500
        Rectangle {
            id: micLevel
            objectName: "micLevel"
            anchors { right: badge.left; rightMargin: 6; verticalCenter: parent.verticalCenter }
            width: 4
            height: 14
            radius: 2
            color: "#40ffffff"
            Rectangle {
                anchors { left: parent.left; right: parent.right; bottom: parent.bottom }
                height: parent.height * Math.max(0, Math.min(100, tile.micLevel)) / 100
                radius: 2
                color: "#7CFC9A"
            }
        }
        Rectangle {
            id: badge
            objectName: "badge"
            anchors { right: parent.right; rightMargin: 6; verticalCenter: parent.verticalCenter }
            width: nameBar.compact ? 8 : badgeText.width + 12
            height: nameBar.compact ? 8 : 16
            radius: height / 2
            color: tile.isOnline ? "#19a974" : "#5b6475"
            Text {
                id: badgeText
                objectName: "badgeText"
                visible: !nameBar.compact
                anchors.centerIn: parent
                text: tile.isOnline ? "online" : "offline"
                color: "white"
                font.pixelSize: 10
            }
        }
    }
}

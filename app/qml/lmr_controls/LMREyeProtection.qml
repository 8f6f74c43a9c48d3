import QtQuick 2.12
import QtQuick.Window 2.12

// Eye protection. Where the desktop blends translucent windows, a tinted,
// input-transparent window "lumira_eye" covers the screen. Without a
// compositing manager such a window comes out opaque and hides everything,
// so the same tint is then drawn inside the main window and the video window.
Item {
    id: eye
    property bool shown: false
    property Item mainContent: null  // tinted in place without a compositor
    property Item videoContent: null
    property bool compositing: false // read by refresh() once made
    readonly property var overlay: eyeWindow.item
    property real strength: 0

    // The strength may have changed and a compositing manager may have come
    // or gone since the last time: both are read again.
    function refresh() {
        compositing = cppTool.isCompositing()
        strength = cppConfigFile.getProtectedEyeValue()
        mainTint.changeColor(strength)
        videoTint.changeColor(strength)
        if (eyeWindow.item)
            eyeWindow.item.tint.changeColor(strength)
    }
    Component.onCompleted: refresh()

    // The window is made the first time it is to be seen, not at start-up,
    // and then kept.
    readonly property bool windowWanted: shown && compositing
    onWindowWantedChanged: if (windowWanted) eyeWindow.active = true
    Loader {
        id: eyeWindow
        active: false
        sourceComponent: Window {
            objectName: "lumira_eye"
            title: "lumira_eye"
            flags: Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint | Qt.WindowTransparentForInput | Qt.Tool
            color: "transparent"
            x: Screen.virtualX
            y: Screen.virtualY
            width: Screen.width
            height: Screen.height
            visible: eye.windowWanted
            property Item tint: windowTint
            LMREyeView {
                id: windowTint
                anchors.fill: parent
                Component.onCompleted: changeColor(eye.strength)
            }
        }
    }

    // In-window tints: above the page and the tiles, and taking no input, so
    // clicks still reach what lies below.
    LMREyeView {
        id: mainTint
        objectName: "eyeTint"
        parent: eye.mainContent
        anchors.fill: parent
        z: 1000
        visible: eye.shown && !eye.compositing && parent !== null
    }
    LMREyeView {
        id: videoTint
        objectName: "videoEyeTint"
        parent: eye.videoContent
        anchors.fill: parent
        z: 1000
        visible: eye.shown && !eye.compositing && parent !== null
    }
}

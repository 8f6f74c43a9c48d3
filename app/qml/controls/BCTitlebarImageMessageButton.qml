import QtQuick 2.12

// Title-bar button with a badge for pending items (0 hides it).
BCTitlebarImageButton {
    id: button
    property int count: 0
    Rectangle {
        visible: button.count > 0
        anchors { right: parent.right; top: parent.top; rightMargin: 3; topMargin: 2 }
        width: Math.max(14, badge.implicitWidth + 6)
        height: 14
        radius: 7
        color: "#ff4d4f"
        Text {
            id: badge
            anchors.centerIn: parent
            text: button.count > 99 ? "99+" : button.count
            color: "white"
            font.pixelSize: 9
        }
    }
}

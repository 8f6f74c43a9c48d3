import QtQuick 2.12

// Window title bar: drags the window, double-click asks to maximise, buttons
// go into the right-hand row.
Rectangle {
    id: bar
    property string titleText: ""
    property string subText: ""
    property var dragTarget: null
    default property alias buttons: buttonRow.data
    property alias leftItems: extraRow.data

    signal doubleClicked()

    color: "#2f6bff"
    height: 40

    MouseArea {
        anchors.fill: parent
        property point pressPos
        onPressed: pressPos = Qt.point(mouse.x, mouse.y)
        onPositionChanged: {
            if (bar.dragTarget) {
                bar.dragTarget.x += mouse.x - pressPos.x
                bar.dragTarget.y += mouse.y - pressPos.y
            }
        }
        onDoubleClicked: bar.doubleClicked()
    }

    Row {
        id: leftRow
        anchors { left: parent.left; leftMargin: 16; verticalCenter: parent.verticalCenter }
        spacing: 14
        Text {
            objectName: "titleText"
            text: bar.titleText
            color: "white"
            font.pixelSize: 16
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            objectName: "typeText"
            visible: text !== ""
            text: bar.subText
            color: "#dce6ff"
            font.pixelSize: 12
            anchors.verticalCenter: parent.verticalCenter
        }
        Row {
            id: extraRow
            anchors.verticalCenter: parent.verticalCenter
            spacing: 14
        }
    }

    Row {
        id: buttonRow
        anchors { right: parent.right; rightMargin: 6; verticalCenter: parent.verticalCenter }
        spacing: 2
    }
}

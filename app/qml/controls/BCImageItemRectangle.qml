import QtQuick 2.12

// One row of a pop-up menu: optional icon, text, optional check mark.
Rectangle {
    id: item
    property url icon
    property string text: ""
    property bool checkable: false
    property bool checked: false
    signal clicked()

    width: parent ? parent.width : 180
    height: 36
    color: area.containsMouse ? "#eef3ff" : "transparent"

    Image {
        id: iconImage
        visible: item.icon != ""
        anchors { left: parent.left; leftMargin: 12; verticalCenter: parent.verticalCenter }
        source: item.icon
        sourceSize: Qt.size(16, 16)
    }
    Text {
        anchors { left: parent.left; leftMargin: iconImage.visible ? 36 : 16; verticalCenter: parent.verticalCenter }
        text: item.text
        font.pixelSize: 13
        color: item.enabled ? "#2b3240" : "#a9b1c0"
    }
    Text {
        visible: item.checkable && item.checked
        anchors { right: parent.right; rightMargin: 12; verticalCenter: parent.verticalCenter }
        text: "\u2713"
        color: "#2f6bff"
        font.pixelSize: 14
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: item.clicked()
    }
}

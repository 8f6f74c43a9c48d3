import QtQuick 2.12

// Square title-bar button with an icon, a hover shade and a tooltip.
Rectangle {
    id: button
    property url source
    property string tip: ""
    property color hoverColor: "#33ffffff"
    property bool checked: false
    signal clicked()

    width: 36
    height: 32
    radius: 4
    color: area.pressed ? "#55ffffff" : (area.containsMouse || checked ? hoverColor : "transparent")

    Image {
        anchors.centerIn: parent
        source: button.source
        sourceSize: Qt.size(20, 20)
        opacity: button.enabled ? 1 : 0.4
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.clicked()
    }
    BCToolTip {
        visible: area.containsMouse && button.tip !== ""
        text: button.tip
    }
}

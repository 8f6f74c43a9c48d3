import QtQuick 2.12

Rectangle {
    id: button
    property string glyph
    signal clicked()

    width: 32
    height: 28
    radius: 4
    color: area.containsMouse ? "#4a80ff" : "transparent"

    Text {
        anchors.centerIn: parent
        text: button.glyph
        color: "white"
        font.pixelSize: 16
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.clicked()
    }
}

import QtQuick 2.12

// Image button with optional hover and pressed pictures.
Item {
    id: button
    property url source
    property url hoverSource
    property url pressedSource
    signal clicked()

    implicitWidth: 32
    implicitHeight: 32

    Image {
        anchors.fill: parent
        fillMode: Image.PreserveAspectFit
        sourceSize: Qt.size(button.width, button.height)
        source: area.pressed && button.pressedSource != "" ? button.pressedSource
                : (area.containsMouse && button.hoverSource != "" ? button.hoverSource : button.source)
        opacity: button.enabled ? 1 : 0.4
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.clicked()
    }
}

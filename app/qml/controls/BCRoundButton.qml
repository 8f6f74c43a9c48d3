import QtQuick 2.12
import QtQuick.Controls 2.12

// Rounded push button; `primary` fills it with the accent colour.
Button {
    id: button
    property bool primary: true
    implicitHeight: 34
    implicitWidth: Math.max(96, contentItem.implicitWidth + 32)
    font.pixelSize: 13
    contentItem: Text {
        text: button.text
        font: button.font
        color: button.primary ? "white" : "#2f6bff"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        radius: height / 2
        color: button.primary ? (button.down ? "#2457d6" : (button.hovered ? "#4a80ff" : "#2f6bff")) : "white"
        border.color: "#2f6bff"
        opacity: button.enabled ? 1 : 0.5
    }
}

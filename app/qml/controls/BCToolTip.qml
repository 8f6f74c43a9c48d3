import QtQuick 2.12
import QtQuick.Controls 2.12

ToolTip {
    id: tip
    delay: 400
    font.pixelSize: 12
    contentItem: Text {
        text: tip.text
        font: tip.font
        color: "white"
    }
    background: Rectangle {
        radius: 4
        color: "#e62b3240"
    }
}

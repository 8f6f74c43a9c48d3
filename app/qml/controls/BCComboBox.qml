import QtQuick 2.12
import QtQuick.Controls 2.12

ComboBox {
    id: box
    implicitHeight: 32
    font.pixelSize: 13
    background: Rectangle {
        implicitWidth: 220
        radius: 4
        border.color: box.activeFocus || box.hovered ? "#2f6bff" : "#cfd5e0"
        color: "white"
    }
}

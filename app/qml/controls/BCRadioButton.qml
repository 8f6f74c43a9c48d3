import QtQuick 2.12
import QtQuick.Controls 2.12

RadioButton {
    id: radio
    font.pixelSize: 13
    indicator: Rectangle {
        implicitWidth: 16
        implicitHeight: 16
        x: radio.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        radius: 8
        border.color: radio.checked ? "#2f6bff" : "#a9b1c0"
        Rectangle {
            anchors.centerIn: parent
            width: 8
            height: 8
            radius: 4
            color: "#2f6bff"
            visible: radio.checked
        }
    }
}

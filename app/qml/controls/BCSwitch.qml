import QtQuick 2.12
import QtQuick.Controls 2.12

Switch {
    id: control
    font.pixelSize: 13
    indicator: Rectangle {
        implicitWidth: 38
        implicitHeight: 20
        x: control.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        radius: 10
        color: control.checked ? "#2f6bff" : "#cfd5e0"
        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            height: 16
            radius: 8
            color: "white"
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
}

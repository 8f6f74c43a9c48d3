import QtQuick 2.12
import "qrc:/controls"

// Vertical volume slider, 0 to 100.
Rectangle {
    id: view
    objectName: "LMRVolumeSettingView"
    property alias value: slider.value
    signal moved(int value)

    width: 44
    height: 150
    radius: 8
    color: "#e62b3240"

    Text {
        anchors { top: parent.top; topMargin: 6; horizontalCenter: parent.horizontalCenter }
        text: Math.round(slider.value)
        color: "white"
        font.pixelSize: 11
    }
    BCSlider {
        id: slider
        orientation: Qt.Vertical
        anchors { top: parent.top; topMargin: 24; bottom: parent.bottom; bottomMargin: 8
                  horizontalCenter: parent.horizontalCenter }
        width: 24
        from: 0
        to: 100
        stepSize: 1
        value: 100
        onMoved: view.moved(Math.round(value))
    }
}

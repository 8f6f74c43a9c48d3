import QtQuick 2.12
import QtQuick.Controls 2.12

Slider {
    id: slider
    background: Rectangle {
        x: slider.leftPadding + (slider.vertical ? (slider.availableWidth - width) / 2 : 0)
        y: slider.topPadding + (slider.vertical ? 0 : (slider.availableHeight - height) / 2)
        width: slider.vertical ? 4 : slider.availableWidth
        height: slider.vertical ? slider.availableHeight : 4
        radius: 2
        color: "#cfd5e0"
        Rectangle {
            width: slider.vertical ? parent.width : slider.visualPosition * parent.width
            height: slider.vertical ? (1 - slider.visualPosition) * parent.height : parent.height
            y: slider.vertical ? slider.visualPosition * parent.height : 0
            radius: 2
            color: "#2f6bff"
        }
    }
    handle: Rectangle {
        x: slider.leftPadding + (slider.vertical ? (slider.availableWidth - width) / 2
                                                : slider.visualPosition * (slider.availableWidth - width))
        y: slider.topPadding + (slider.vertical ? slider.visualPosition * (slider.availableHeight - height)
                                               : (slider.availableHeight - height) / 2)
        implicitWidth: 14
        implicitHeight: 14
        radius: 7
        color: slider.pressed ? "#dce6ff" : "white"
        border.color: "#2f6bff"
    }
}

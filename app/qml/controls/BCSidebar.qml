import QtQuick 2.12

// Vertical tab list for the pop-up views.
Rectangle {
    id: bar
    property var model: []
    property int currentIndex: 0
    color: "#f4f6fa"
    width: 160

    Column {
        anchors { fill: parent; topMargin: 12 }
        Repeater {
            model: bar.model
            Rectangle {
                width: bar.width
                height: 40
                color: index === bar.currentIndex ? "white" : (tabArea.containsMouse ? "#eaeef5" : "transparent")
                Rectangle {
                    visible: index === bar.currentIndex
                    width: 3
                    height: parent.height
                    color: "#2f6bff"
                }
                Text {
                    anchors { left: parent.left; leftMargin: 20; verticalCenter: parent.verticalCenter }
                    text: modelData
                    font.pixelSize: 13
                    color: index === bar.currentIndex ? "#2f6bff" : "#2b3240"
                }
                MouseArea {
                    id: tabArea
                    anchors.fill: parent
                    hoverEnabled: true
                    onClicked: bar.currentIndex = index
                }
            }
        }
    }
}

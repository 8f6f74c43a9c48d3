import QtQuick 2.12

Rectangle {
    radius: 6
    color: "white"
    border.color: "#dde2ea"
    Rectangle { // soft shadow under the card
        z: -1
        anchors { fill: parent; topMargin: 3; leftMargin: 1; rightMargin: -1; bottomMargin: -3 }
        radius: parent.radius
        color: "#22000000"
    }
}

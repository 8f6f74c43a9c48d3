import QtQuick 2.12

// One permission line: name and whether it is granted.
Row {
    property string name: ""
    property bool granted: false
    spacing: 10
    Rectangle {
        width: 10
        height: 10
        radius: 5
        anchors.verticalCenter: parent.verticalCenter
        color: parent.granted ? "#25b864" : "#ff4d4f"
    }
    Text {
        text: parent.name
        font.pixelSize: 14
        color: "#2b3240"
    }
    Text {
        text: parent.granted ? qsTr("Authorized") : qsTr("Unauthorized")
        font.pixelSize: 12
        color: "#8a93a6"
        anchors.verticalCenter: parent.verticalCenter
    }
}

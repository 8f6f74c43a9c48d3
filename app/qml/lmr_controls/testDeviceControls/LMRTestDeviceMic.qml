import QtQuick 2.12
import "qrc:/controls"

// Microphone step of the device test.
Item {
    signal sgResult(string device, bool ok)

    Column {
        anchors.centerIn: parent
        spacing: 24
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Does the level move when you speak?")
            font.pixelSize: 15
            color: "#2b3240"
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 16
            BCRoundButton { objectName: "failButton"; primary: false; text: qsTr("No"); onClicked: sgResult("mic", false) }
            BCRoundButton { objectName: "okButton"; text: qsTr("Yes"); onClicked: sgResult("mic", true) }
        }
    }
}

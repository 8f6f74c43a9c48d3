import QtQuick 2.12
import "qrc:/controls"

// Speaker step of the device test.
Item {
    signal sgResult(string device, bool ok)

    Column {
        anchors.centerIn: parent
        spacing: 24
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Can you hear the test sound?")
            font.pixelSize: 15
            color: "#2b3240"
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 16
            BCRoundButton { objectName: "failButton"; primary: false; text: qsTr("No"); onClicked: sgResult("speaker", false) }
            BCRoundButton { objectName: "okButton"; text: qsTr("Yes"); onClicked: sgResult("speaker", true) }
        }
    }
}

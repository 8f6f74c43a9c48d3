import QtQuick 2.12
import "qrc:/controls"

// macOS only: camera, microphone and screen recording need the user's consent
// in the system settings before the class can use them.
Rectangle {
    id: view
    objectName: "LMRMacReviewAccess"
    property bool cameraGranted: false
    property bool micGranted: false
    property bool screenGranted: false
    signal sgOpenSystemSetting(string kind)
    signal sgClose()

    width: 420
    height: 260
    radius: 8
    color: "white"
    border.color: "#dde2ea"

    Column {
        anchors { fill: parent; margins: 24 }
        spacing: 18
        Text { text: qsTr("Please allow access"); font.pixelSize: 16; font.bold: true; color: "#2b3240" }
        Repeater {
            model: [{ kind: "camera", name: qsTr("Camera"), granted: view.cameraGranted },
                    { kind: "mic", name: qsTr("Microphone"), granted: view.micGranted },
                    { kind: "screen", name: qsTr("Screen recording"), granted: view.screenGranted }]
            Item {
                width: parent.width
                height: 34
                BCMacReviewAccessStatus { anchors.verticalCenter: parent.verticalCenter; name: modelData.name; granted: modelData.granted }
                BCMacReviewAccessButton {
                    anchors { right: parent.right; verticalCenter: parent.verticalCenter }
                    granted: modelData.granted
                    onClicked: view.sgOpenSystemSetting(modelData.kind)
                }
            }
        }
    }
}

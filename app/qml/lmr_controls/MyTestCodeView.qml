import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/controls"

// Support view: where this installation keeps its files and a few engine
// checks that need no class.
Popup {
    id: view
    objectName: "MyTestCodeView"
    modal: true
    anchors.centerIn: Overlay.overlay
    width: 560
    height: 320
    background: BCMenuBackground {}
    contentItem: Column {
        spacing: 10
        Text { text: "config: " + cppDir.configPath(); font.pixelSize: 12 }
        Text { text: "log: " + cppDir.logPath(); font.pixelSize: 12 }
        Text { text: "record: " + cppDir.recordPath(); font.pixelSize: 12 }
        Text { text: "render: " + cppConfigFile.getQMLRender() + "   url mode: " + cppConfigFile.getMainUrlMode(); font.pixelSize: 12 }
        Row {
            spacing: 10
            BCRoundButton {
                text: "agora test room"
                enabled: typeof agoraEngine !== "undefined"
                onClicked: agoraEngine.test()
            }
            BCRoundButton { primary: false; text: qsTr("Close"); onClicked: view.close() }
        }
    }
}

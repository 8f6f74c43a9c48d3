import QtQuick 2.12
import "qrc:/controls"

// Last step of the device test: what passed and what did not.
Item {
    signal sgRetry()
    signal sgFinish()
    property var results: ({}) // set by the device test
    function label(r) { return r === "ok" ? qsTr("Normal") : (r === "fail" ? qsTr("Abnormal") : "-") }

    Column {
        anchors.centerIn: parent
        spacing: 14
        Repeater {
            model: [{ key: "speaker", name: qsTr("Speaker") }, { key: "mic", name: qsTr("Microphone") },
                    { key: "camera", name: qsTr("Camera") }]
            Text {
                text: modelData.name + ":  " + label(results[modelData.key])
                font.pixelSize: 15
                color: results[modelData.key] === "fail" ? "#ff4d4f" : "#2b3240"
            }
        }
        Row {
            spacing: 16
            BCRoundButton { primary: false; text: qsTr("Test again"); onClicked: sgRetry() }
            BCRoundButton { objectName: "finishButton"; text: qsTr("Finish"); onClicked: sgFinish() }
        }
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import BCDevice 1.0
import MicVolumeView 1.0
import "qrc:/controls"

// Microphone page of the device test: record and hear yourself, watch the level.
Item {
    id: page
    objectName: "micPage"

    signal sgStartMicClick()
    signal sgStopMicClick()
    signal sgReloadDeviceClick()
    signal sgMicFailureClick()
    signal sgMicSuccessClick()
    signal sgMicComboBoxClick(int index)
    signal sgNextClick()

    property alias micModel: micModel
    property int micIndex: -1
    property bool comboEnabled: false
    property bool recording: false
    property bool adviceVisible: false
    property real level: 0

    function startRecord() {
        if (!comboEnabled || micIndex < 0)
            return
        cppLog.uiClick("record button clicked")
        cppLog.avInfo("start micphone")
        recording = BCDevice.startMicrophone(micIndex)
        // You hear yourself on the chosen speaker, when there is one.
        if (recording)
            BCDevice.startLoudspeaker(cppConfigFile.getSpeakerIndex())
    }
    function stopRecord() {
        if (!recording)
            return
        BCDevice.stopMicrophone()
        BCDevice.stopLoudspeaker()
        recording = false
        level = 0
    }

    ListModel { id: micModel }

    onLevelChanged: micVolume.updateUI(level * 100)

    onSgStartMicClick: startRecord()
    onSgStopMicClick: stopRecord()
    onSgMicFailureClick: {
        cppLog.avError("mic failure")
        adviceVisible = true
    }
    onSgMicComboBoxClick: {
        cppLog.uiClick("mic commbox select")
        stopRecord()
        micIndex = index
        cppConfigFile.setMicIndex(index)
        cppConfigFile.setMicName(micModel.get(index).name)
        cppConfigFile.setMicId(BCDevice.getMicrophoneIdList()[index])
    }

    Connections {
        target: BCDevice
        function onMicWaveStrength(value) { if (page.recording) page.level = Math.max(page.level, value) }
    }
    // The level falls back when the microphone goes quiet.
    Timer {
        interval: 120
        repeat: true
        running: page.recording
        onTriggered: page.level = page.level * 0.6
    }

    Column {
        anchors { left: parent.left; right: parent.right; top: parent.top }
        spacing: 18

        Row {
            spacing: 12
            Text {
                text: qsTr("Microphone")
                font.pixelSize: 14
                color: "#2b3240"
                anchors.verticalCenter: parent.verticalCenter
            }
            BCComboBox {
                objectName: "micCombo"
                width: 280
                model: micModel
                textRole: "name"
                enabled: page.comboEnabled
                currentIndex: page.micIndex
                onActivated: page.sgMicComboBoxClick(index)
            }
            BCRoundButton {
                primary: false
                text: qsTr("Refresh")
                onClicked: page.sgReloadDeviceClick()
            }
        }

        Row {
            spacing: 16
            BCRoundButton {
                objectName: "recordButton"
                text: page.recording ? qsTr("stop record") : qsTr("start record")
                enabled: page.comboEnabled
                onClicked: page.recording ? page.sgStopMicClick() : page.sgStartMicClick()
            }
            // The microphone icon fills with the same level as the bar.
            Rectangle {
                width: 36
                height: 36
                radius: 18
                color: page.recording ? "#ff4d4f" : "#b8bfcc"
                anchors.verticalCenter: parent.verticalCenter
                MicVolumeView {
                    id: micVolume
                    objectName: "micVolumeView"
                    x: 8
                    y: 6
                    width: 20
                    height: 22
                }
            }
            ProgressBar {
                id: micProgressBar
                objectName: "micProgressBar"
                width: 220
                from: 0
                to: 1
                value: page.level
                anchors.verticalCenter: parent.verticalCenter
                background: Rectangle { implicitHeight: 8; radius: 4; color: "#e6e9f0" }
                contentItem: Item {
                    implicitHeight: 8
                    Rectangle {
                        width: micProgressBar.visualPosition * parent.width
                        height: parent.height
                        radius: 4
                        color: "#ff4d4f"
                    }
                }
            }
        }

        Text {
            width: parent.width
            wrapMode: Text.WordWrap
            text: qsTr("Please click the “start recording” button, speak into the microphone, and check the volume bar to see if there is any fluctuation.")
            font.pixelSize: 13
            color: "#5b6478"
        }

        Row {
            spacing: 16
            BCRoundButton { objectName: "successButton"; text: qsTr("The volume fluctuates"); onClicked: page.sgMicSuccessClick() }
            BCRoundButton { objectName: "failureButton"; primary: false; text: qsTr("No fluctuation in volume"); onClicked: page.sgMicFailureClick() }
        }

        Column {
            objectName: "advice"
            visible: page.adviceVisible
            width: parent.width
            spacing: 6
            Repeater {
                model: [qsTr("If you cannot see the fluctuation of the red volume bar during the test, please check the problem in the following ways:"),
                        qsTr("1. Confirm that the device is connected normally and the headphone jack is inserted correctly;"),
                        qsTr("2. Confirm that the microphone is connected and turned on and the volume has been adjusted to the maximum;"),
                        qsTr("3. Try to switch equipment or replace microphone socket;")]
                Text {
                    width: parent.width
                    wrapMode: Text.WordWrap
                    text: modelData
                    font.pixelSize: 12
                    color: index === 0 ? "#ff4d4f" : "#5b6478"
                }
            }
            BCRoundButton { primary: false; text: qsTr("Next"); onClicked: page.sgNextClick() }
        }
    }
}

import QtQuick 2.12
import QtQuick.Controls 2.12
import BCDevice 1.0
import "qrc:/controls"

// Speaker page of the device test: play the test music on the chosen speaker.
Item {
    id: page
    objectName: "speakerPage"

    signal sgPlayMusicClick()
    signal sgStopMusicClick()
    signal sgReloadDeviceClick()
    signal sgSpeakerFailureClick()
    signal sgSpeakerSuccessClick()
    signal sgSpeakerComboBoxClick(int index)
    signal sgNextClick()

    property alias speakerModel: speakerModel
    property int speakerIndex: -1
    property bool comboEnabled: false
    property bool playing: false
    property bool adviceVisible: false

    function musicFile() {
        return (Qt.platform.os === "osx" ? cppDir.macResourcesPath() : cppDir.getAppPath()) + "/TestDeviceMusic.mp3"
    }
    function playMusic() {
        if (!comboEnabled || speakerIndex < 0)
            return
        if (BCDevice.playMp3(musicFile(), speakerIndex))
            playing = true
        else
            cppLog.avError("play mp3 error")
    }
    function stopMusic() {
        if (!playing)
            return
        BCDevice.stopMp3()
        playing = false
    }

    ListModel { id: speakerModel }

    onSgPlayMusicClick: playMusic()
    onSgStopMusicClick: stopMusic()
    onSgSpeakerFailureClick: {
        cppLog.avError("speaker failure")
        adviceVisible = true
    }
    onSgSpeakerComboBoxClick: {
        cppLog.uiClick("speaker combox select")
        stopMusic()
        speakerIndex = index
        cppConfigFile.setSpeakerIndex(index)
        cppConfigFile.setSpeakerName(speakerModel.get(index).name)
        cppConfigFile.setSpeakerId(BCDevice.getLoudspeakerIdList()[index])
    }

    Connections {
        target: BCDevice
        function onSgMp3Finished() { page.playing = false }
    }

    Column {
        anchors { left: parent.left; right: parent.right; top: parent.top }
        spacing: 18

        Row {
            spacing: 12
            Text {
                text: qsTr("Speaker")
                font.pixelSize: 14
                color: "#2b3240"
                anchors.verticalCenter: parent.verticalCenter
            }
            BCComboBox {
                id: combo
                objectName: "speakerCombo"
                width: 300
                model: speakerModel
                textRole: "name"
                enabled: page.comboEnabled
                currentIndex: page.speakerIndex
                onActivated: page.sgSpeakerComboBoxClick(index)
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
                objectName: "playButton"
                text: page.playing ? "停止播放" : "播放音乐"
                enabled: page.comboEnabled
                onClicked: page.playing ? page.sgStopMusicClick() : page.sgPlayMusicClick()
            }
            AnimatedImage {
                objectName: "waveEffect"
                width: 180
                height: 48
                source: "qrc:/images/devicetest/image_TestDevice_PlayerWaveEffect.webp"
                opacity: page.playing ? 1 : 0 // keeps its room, so nothing below moves
                playing: page.playing
                anchors.verticalCenter: parent.verticalCenter
            }
        }

        Text {
            width: parent.width
            wrapMode: Text.WordWrap
            text: "请点击“播放音乐”按钮，您能听到自己的声音并看到声波浮动吗？"
            font.pixelSize: 13
            color: "#5b6478"
        }

        Row {
            spacing: 16
            BCRoundButton { objectName: "successButton"; text: qsTr("Can hear"); onClicked: page.sgSpeakerSuccessClick() }
            BCRoundButton { objectName: "failureButton"; primary: false; text: qsTr("Can't hear"); onClicked: page.sgSpeakerFailureClick() }
        }

        Column {
            objectName: "advice"
            visible: page.adviceVisible
            spacing: 6
            Repeater {
                model: ["如果测试时您无法听到声音，请按以下方式排查问题：", "1、确认设备正常连接，耳机孔插入正确；",
                        "2、确认耳机、扬声器连接并开启且音量已调整到最大；", "3、尝试切换设备或更换扬声器插口；"]
                Text { text: modelData; font.pixelSize: 12; color: index === 0 ? "#ff4d4f" : "#5b6478" }
            }
            BCRoundButton { primary: false; text: qsTr("Next"); onClicked: page.sgNextClick() }
        }
    }
}

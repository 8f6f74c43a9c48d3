import QtQuick 2.12
import "qrc:/controls"

// Courseware audio bar: plays one file through the engine in use so the room
// hears it, polls the engine for the position and drives pause, seek, stop
// and volume.
Rectangle {
    id: player
    objectName: "LMRAudioPlayerView"

    property var engine: null
    property string fileName: ""
    property int duration: 0
    property int position: 0
    property bool paused: false
    readonly property bool playing: engine !== null && fileName !== ""

    signal closed()

    function timeText(seconds) {
        var s = Math.max(0, Math.floor(seconds))
        var m = Math.floor(s / 60)
        s = s % 60
        return (m < 10 ? "0" : "") + m + ":" + (s < 10 ? "0" : "") + s
    }

    // Returns false when the engine could not start the file.
    function play(mediaEngine, path, name) {
        if (playing)
            stop()
        engine = mediaEngine
        fileName = name
        paused = false
        position = 0
        duration = engine.playMedia(path)
        engine.setMediaVolume(volumeView.value)
        cppLog.avInfo("play media " + name + " duration " + duration)
        posTimer.start()
        return true
    }
    function togglePause() {
        if (!playing)
            return
        if (paused ? engine.resumeMedia() : engine.pauseMedia())
            paused = !paused
    }
    function seek(seconds) {
        if (playing)
            engine.seekMedia(Math.round(seconds * 1000))
    }
    function stop() {
        posTimer.stop()
        if (engine)
            engine.stopMedia()
        engine = null
        fileName = ""
        duration = 0
        position = 0
        paused = false
        volumeView.visible = false
        closed()
    }
    function hideVolume() { volumeView.visible = false }
    function refreshPosition() {
        if (!playing)
            return
        var pos = engine.getCurrentPos()
        if (!pos || pos.length < 2)
            return
        var d = parseInt(pos[0]), p = parseInt(pos[1])
        if (!isNaN(d) && d > 0)
            duration = d
        if (!isNaN(p) && !progress.pressed)
            position = p
        // The mixer stops by itself at the end of the file.
        if (duration > 0 && position >= duration)
            stop()
    }

    height: 44
    radius: 22
    color: "#e62b3240"

    Timer {
        id: posTimer
        interval: 500
        repeat: true
        onTriggered: player.refreshPosition()
    }

    Row {
        anchors { left: parent.left; leftMargin: 14; verticalCenter: parent.verticalCenter }
        spacing: 8
        BCTitlebarImageButton {
            objectName: "playPauseButton"
            anchors.verticalCenter: parent.verticalCenter
            source: player.paused ? "qrc:/images/titlebar/btn_TitleBar_play.svg"
                                  : "qrc:/images/titlebar/btn_TitleBar_pause.svg"
            tip: player.paused ? qsTr("Play") : qsTr("Pause")
            onClicked: player.togglePause()
        }
        BCTitlebarImageButton {
            objectName: "stopButton"
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/images/titlebar/btn_TitleBar_stop.svg"
            tip: qsTr("Stop")
            onClicked: player.stop()
        }
        Text {
            width: 140
            elide: Text.ElideMiddle
            anchors.verticalCenter: parent.verticalCenter
            text: player.fileName
            color: "white"
            font.pixelSize: 12
        }
        BCSlider {
            id: progress
            objectName: "progress"
            width: 240
            anchors.verticalCenter: parent.verticalCenter
            from: 0
            to: Math.max(1, player.duration)
            value: player.position
            onPressedChanged: if (!pressed) player.seek(value)
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: player.timeText(player.position) + " / " + player.timeText(player.duration)
            color: "#dce6ff"
            font.pixelSize: 12
        }
        BCTitlebarImageButton {
            objectName: "volumeButton"
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/images/titlebar/btn_TitleBar_volume.svg"
            tip: qsTr("Volume")
            checked: volumeView.visible
            onClicked: volumeView.visible = !volumeView.visible
        }
    }

    LMRVolumeSettingView {
        id: volumeView
        visible: false
        anchors { right: parent.right; rightMargin: 20; bottom: parent.top; bottomMargin: 6 }
        onMoved: if (player.playing) player.engine.setMediaVolume(value)
    }
}

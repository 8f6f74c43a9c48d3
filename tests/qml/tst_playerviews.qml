import QtQuick 2.12
import QtTest 1.2
import "qrc:/lmr_controls"

// The courseware audio bar against an engine that records what it is asked.
TestCase {
    id: testCase
    name: "PlayerViews"
    width: 800
    height: 600
    visible: true
    when: windowShown

    QtObject {
        id: engine
        property var calls: []
        property int duration: 0
        property int position: 0
        property bool playing: false
        function note(c) { var a = calls; a.push(c); calls = a }
        function playMedia(path) { note("play " + path); playing = true; position = 0; return 5 }
        function pauseMedia() { note("pause"); return true }
        function resumeMedia() { note("resume"); return true }
        function stopMedia() { note("stop"); playing = false }
        function seekMedia(ms) { note("seek " + ms); position = Math.floor(ms / 1000) }
        function setMediaVolume(v) { note("volume " + v) }
        function getCurrentPos() { return playing ? [String(5), String(position)] : [] }
    }

    Component {
        id: playerComponent
        Item {
            width: 800
            height: 600
            property alias player: p
            LMRAudioPlayerView { id: p; anchors.bottom: parent.bottom; width: 700 }
        }
    }

    function test_playerDrivesTheEngine() {
        var holder = createTemporaryObject(playerComponent, testCase)
        var player = holder.player
        engine.calls = []
        verify(player.play(engine, "/music/song.mp3", "song.mp3"))
        compare(engine.calls[0], "play /music/song.mp3")
        compare(engine.calls[1], "volume 100")
        compare(player.duration, 5)
        verify(player.playing)

        player.togglePause()
        verify(player.paused)
        player.togglePause()
        verify(!player.paused)
        compare(engine.calls.slice(2, 4), ["pause", "resume"])

        player.seek(3.4)
        compare(engine.calls[4], "seek 3400")
        player.refreshPosition()
        compare(player.position, 3)

        // The mixer reaching the end closes the bar.
        var closed = false
        player.closed.connect(function () { closed = true })
        engine.position = 5
        player.refreshPosition()
        verify(closed)
        verify(!player.playing)
        compare(engine.calls[engine.calls.length - 1], "stop")

        // An engine answering nothing useful leaves the figures alone.
        player.play(engine, "/music/b.mp3", "b.mp3")
        engine.playing = false
        player.refreshPosition()
        compare(player.duration, 5)
        player.stop()
    }
}

import QtQuick 2.12
import QtTest 1.2
import BCDevice 1.0

// The device test on a machine with no sound devices at all.
TestCase {
    id: testCase
    name: "DeviceTestWithoutDevices"
    width: 1000
    height: 700
    when: windowShown

    function test_noSpeakerDisablesThePage() {
        var view = Qt.createComponent("qrc:/lmr_controls/LMRTestDevice.qml").createObject(testCase)
        view.open()
        tryCompare(view, "opened", true)
        var speaker = findChild(view.contentItem, "speakerPage")
        var combo = findChild(speaker, "speakerCombo")
        compare(combo.count, 0)
        verify(!combo.enabled)
        verify(!findChild(speaker, "playButton").enabled)
        speaker.sgPlayMusicClick()
        verify(!speaker.playing)
        verify(!BCDevice.isPlaying())

        view.sidebarClicked(1)
        var mic = findChild(view.contentItem, "micPage")
        verify(!findChild(mic, "micCombo").enabled)
        mic.sgStartMicClick()
        verify(!mic.recording)
        view.closeWindow()
        verify(!view.opened)
        view.destroy()
    }
}

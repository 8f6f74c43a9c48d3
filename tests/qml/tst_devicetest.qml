import QtQuick 2.12
import QtQuick.Controls 2.12
import QtTest 1.2
import BCDevice 1.0

// The device test pop-up on the devices of the private sound server.
TestCase {
    id: testCase
    name: "DeviceTest"
    width: 1100
    height: 760
    when: windowShown

    property var view: null

    function find(name) { return findChild(view.contentItem, name) }
    function page(name) { return findChild(view.contentItem, name) }

    function init() {
        cppConfigFile.setSpeakerIndex(-1)
        cppConfigFile.setSpeakerName("")
        cppConfigFile.setSpeakerId("")
        cppConfigFile.setMicIndex(-1)
        view = Qt.createComponent("qrc:/lmr_controls/LMRTestDevice.qml").createObject(testCase)
        verify(view, "the pop-up loads")
        view.open()
        tryCompare(view, "opened", true)
    }
    function cleanup() {
        if (view.opened)
            view.closeWindow()
        view.destroy()
        view = null
    }

    function shot(name) {
        var dir = cppTestLog.screenshotDir()
        if (dir !== "")
            grabImage(testCase).save(dir + "/" + name + ".png")
    }

    function test_speakerChoiceLandsInTheSettings() {
        var speaker = page("speakerPage")
        var combo = findChild(speaker, "speakerCombo")
        verify(combo.enabled)
        compare(combo.count, 2)
        compare(speaker.speakerModel.get(0).name, "lumira_speaker")
        compare(combo.currentIndex, 0)
        shot("devicetest_speaker")

        speaker.sgSpeakerComboBoxClick(1) // what choosing in the combo box sends
        compare(combo.currentIndex, 1)
        compare(cppConfigFile.getSpeakerName(), "lumira_headset")
        var ini = cppTestLog.configText()
        verify(ini.indexOf("lumira_headset") >= 0, ini)
        verify(cppTestLog.logText().indexOf("speaker combox select") >= 0)
        // The next opening of the test, and the next class, start from that choice.
        view.closeWindow()
        view.open()
        tryCompare(view, "opened", true)
        compare(findChild(page("speakerPage"), "speakerCombo").currentIndex, 1)
    }

    function test_closingWhileMusicPlaysStopsIt() {
        var speaker = page("speakerPage")
        mouseClick(findChild(speaker, "playButton"))
        verify(speaker.playing)
        verify(BCDevice.isPlaying())
        compare(findChild(speaker, "playButton").text, "停止播放")
        compare(findChild(speaker, "waveEffect").opacity, 1)
        wait(300)
        shot("devicetest_speaker_playing")
        view.closeWindow()
        verify(!BCDevice.isPlaying())
        verify(!speaker.playing)
        verify(!view.opened)
        var log = cppTestLog.logText()
        verify(log.indexOf("speaker window show") >= 0)
        verify(log.indexOf("speaker window close") >= 0)
    }

    function test_softRenderPreviewsOnAPicture() {
        var previous = cppConfigFile.getQMLRender()
        cppConfigFile.setQMLRender("SOFT")
        var soft = Qt.createComponent("qrc:/lmr_controls/LMRTestDevice.qml").createObject(testCase)
        soft.open()
        tryCompare(soft, "opened", true)
        soft.sidebarClicked(2)
        var camera = findChild(soft.contentItem, "cameraPage")
        verify(findChild(camera, "imageWidget").item !== null)
        verify(findChild(camera, "videoWidget").item === null)
        camera.setRotate(90)
        compare(findChild(camera, "imageWidget").rotation, 90)
        soft.closeWindow()
        soft.destroy()
        cppConfigFile.setQMLRender(previous)
    }

    function test_leavingThePageStopsTheMusic() {
        var speaker = page("speakerPage")
        speaker.sgPlayMusicClick()
        verify(BCDevice.isPlaying())
        view.sidebarClicked(1)
        verify(!BCDevice.isPlaying())
    }

    function test_microphoneLevelMovesWhileRecording() {
        view.sidebarClicked(1)
        var mic = page("micPage")
        compare(view.currentPage, 1)
        var combo = findChild(mic, "micCombo")
        verify(combo.enabled)
        var names = []
        for (var i = 0; i < mic.micModel.count; ++i)
            names.push(mic.micModel.get(i).name)
        var tone = names.indexOf("lumira_mic")
        verify(tone >= 0, names)
        mic.sgMicComboBoxClick(tone)
        compare(cppConfigFile.getMicName(), "lumira_mic")
        mouseClick(findChild(mic, "recordButton"))
        verify(mic.recording)
        tryVerify(function() { return findChild(mic, "micProgressBar").value > 0.05 }, 5000)
        var icon = findChild(mic, "micVolumeView")
        compare(icon.level, Math.floor(mic.level * 100), "the icon fills with the bar's level")
        shot("devicetest_mic")
        mouseClick(findChild(mic, "recordButton"))
        verify(!mic.recording)
        compare(findChild(mic, "micProgressBar").value, 0)
        compare(icon.level, 0)
    }

    function test_deviceChangesRefreshTheLists() {
        var events = Qt.createComponent("qrc:/lmr_controls/LMRDeviceEvents.qml").createObject(testCase)
        verify(events, "the device events load")
        cppEvent.devUpdate()
        verify(cppTestLog.logText().indexOf("device change, update device list") >= 0)
        events.destroy()
    }

    function test_verdictsReachTheResults() {
        var speaker = page("speakerPage")
        mouseClick(findChild(speaker, "successButton"))
        compare(view.currentPage, 1)
        compare(view.speakerHear, true)

        var mic = page("micPage")
        verify(!findChild(mic, "advice").visible)
        mouseClick(findChild(mic, "failureButton"))
        compare(view.currentPage, 1, "a failure stays with its advice")
        verify(findChild(mic, "advice").visible)
        verify(cppTestLog.logText().indexOf("mic failure") >= 0)

        view.sidebarClicked(2)
        var camera = page("cameraPage")
        var cameraCombo = findChild(camera, "cameraCombo")
        verify(!cameraCombo.enabled, "no camera on this machine")
        mouseClick(findChild(camera, "failureButton"))
        verify(findChild(camera, "advice").visible)
        shot("devicetest_camera")

        view.sidebarClicked(3)
        var results = page("resultPage")
        compare(results.resultAt(0), "正常")
        compare(results.resultAt(1), "异常")
        compare(results.resultAt(2), "异常")
        shot("devicetest_results")
        verify(cppTestLog.logText().indexOf("results window show") >= 0)

        mouseClick(findChild(results, "againButton"))
        compare(view.currentPage, 0)
        compare(results.resultAt(0), "尚未检测")
        verify(!findChild(mic, "advice").visible)

        view.sidebarClicked(3)
        mouseClick(findChild(results, "completeButton"))
        verify(!view.opened)
    }
}

import QtQuick 2.12
import QtTest 1.2
import QtQuick.Window 2.12
import LMRUserInfo 1.0
import LMRMsgId 1.0

// The window's views and reactions as a user drives them: menus, settings,
// online badges, quitting while uploads run.
TestCase {
    id: testCase
    name: "ClassroomWindowViews"
    width: 1280
    height: 720
    when: windowShown
    visible: true

    Loader {
        id: loader
        anchors.fill: parent
        source: "qrc:/lmr_controls/LMRWindow.qml"
    }
    SignalSpy { id: toPage; target: cppNotify; signalName: "sgNotifyH5" }

    readonly property var members: [
        { "role": "teacher", "uid": "10001", "name": "T", "agora_id": "10001" },
        { "role": "student", "uid": "20002", "name": "S1", "agora_id": "20002" },
        { "role": "student", "uid": "20003", "name": "S2", "agora_id": "20003" }
    ]
    function joinMiniClass(win) {
        LMRUserInfo.resetClassUserInfo()
        LMRUserInfo.setClassRoomInfo(JSON.stringify({ "token": "class-2", "classname": "Demo", "cls_user_type": "teacher",
                                                      "cls_category": 5, "users": members }))
        win.setMedia()
        tryCompare(win.videoViewLoader.item, "count", 3)
    }
    function onlineOf(win, uid) {
        for (var i = 0; i < win.tiles.count; ++i)
            if (win.tiles.get(i).uid === uid)
                return win.tiles.get(i).isOnline
        return undefined
    }
    function find(item, name) {
        if (!item)
            return null
        if (item.objectName === name)
            return item
        var kids = item.children
        for (var i = 0; i < kids.length; ++i) {
            var found = find(kids[i], name)
            if (found)
                return found
        }
        return null
    }
    function clickOn(item) {
        verify(item, "item to click")
        waitForRendering(item)
        mouseClick(item, item.width / 2, item.height / 2)
    }
    // Radio buttons are driven through their clicked signal: a mouse press on
    // a just-opened modal pop-up is sometimes taken by the overlay.
    function choose(item) {
        verify(item, "radio to choose")
        item.checked = true
        item.clicked()
    }
    function lastToPage() {
        return toPage.count > 0 ? JSON.parse(toPage.signalArguments[toPage.count - 1][0]) : null
    }

    function cleanup() {
        var win = loader.item
        win.msgBox.close()
        if (win.settingView)
            win.settingView.close()
        if (win.settingMenu)
            win.settingMenu.close()
        if (win.helpMenu)
            win.helpMenu.close()
        toPage.clear()
    }

    function test_onlineStateSetsTheBadges() {
        var win = loader.item
        cppConfigFile.setUserID("10001")
        joinMiniClass(win)
        compare(onlineOf(win, "10001"), true) // we are in class ourselves
        compare(onlineOf(win, "20002"), false)
        verify(win.updateOnline(JSON.stringify([{ "uid": "20002", "online": true }, { "uid": 20003, "state": 1 },
                                                { "uid": "10001", "online": false }, { "uid": "99999", "online": true },
                                                "garbage", null])))
        compare(onlineOf(win, "20002"), true)
        compare(onlineOf(win, "20003"), true)
        compare(onlineOf(win, "10001"), false)
        var tile = win.videoViewLoader.item.tileFor("20002")
        tryCompare(tile, "isOnline", true)

        // Malformed lists are logged and change nothing.
        verify(!win.updateOnline("{not json"))
        verify(!win.updateOnline(JSON.stringify({ "uid": "20002", "online": false })))
        verify(cppTestLog.logText().indexOf("parse online_state json error") >= 0)
        compare(onlineOf(win, "20002"), true)

        // The page's own message reaches the tiles through the dispatcher.
        win.webview.sgUpdateOnlineState(JSON.stringify([{ "uid": "20002", "online": false }]))
        compare(onlineOf(win, "20002"), false)
    }

    // Video from a peer marks it online; the page's later word that it left
    // still reaches the badge.
    function test_badgeFollowsAPeerLeaving() {
        var win = loader.item
        cppConfigFile.setUserID("10001")
        joinMiniClass(win)
        var tile = win.videoViewLoader.item.tileFor("20002")
        compare(tile.isOnline, false)
        win.classroom.updateVideoAvailable("20002", true)
        compare(onlineOf(win, "20002"), true)
        compare(tile.isOnline, true)
        compare(tile.isShowBackground, false)
        win.webview.sgUpdateOnlineState(JSON.stringify([{ "uid": "20002", "online": false }]))
        compare(tile.isOnline, false)
        win.classroom.updateVideoAvailable("20002", false) // video gone says nothing about presence
        compare(tile.isOnline, false)
    }

    // A narrow tile gives its name the room the badge does not need.
    function test_tileNamesGetTheRoomThereIs() {
        var win = loader.item
        joinMiniClass(win)
        var tile = win.videoViewLoader.item.tileFor("20002")
        var name = find(tile, "nameText")
        verify(tile.width < 200)
        verify(name.width > tile.width * 0.6, "name width " + name.width + " of " + tile.width)
        compare(find(tile, "badgeText").visible, false)
        win.tiles.setProperty(1, "name", "Demo Student With A Long Name")
        compare(name.text, "Demo Student With A Long Name")
        verify(name.truncated)
    }

    // Tiles carry every vendor's id, so each engine finds its peers.
    function test_tilesCarryTheVendorIds() {
        var win = loader.item
        LMRUserInfo.resetClassUserInfo()
        LMRUserInfo.setClassRoomInfo(JSON.stringify({ "token": "class-3", "classname": "Demo", "cls_user_type": "teacher",
            "cls_category": 5, "users": [
                { "role": "teacher", "uid": "10001", "name": "T", "agora_id": "a1", "qlive_id": "q1", "trtc_id": "t1", "zego_id": "z1" },
                { "role": "student", "uid": "20002", "name": "S1", "agora_id": "a2", "qlive_id": "q2", "trtc_id": "t2", "zego_id": "z2" }] }))
        win.setMedia()
        tryCompare(win.videoViewLoader.item, "count", 2)
        compare(win.videoViewLoader.item.userNum, 2)
        var tile = win.videoViewLoader.item.tileFor("t2")
        verify(tile)
        compare(tile.uid, "20002")
        compare(win.classroom.vendorId(tile, LMRUserInfo.MediaType_Agora), "a2")
        compare(win.classroom.vendorId(tile, LMRUserInfo.MediaType_ILive), "q2")
        compare(win.classroom.vendorId(tile, LMRUserInfo.MediaType_TRtc), "t2")
        compare(win.classroom.vendorId(tile, LMRUserInfo.MediaType_ZgRtc), "z2")
        compare(win.videoViewLoader.item.tileFor("z1").uid, "10001")
        compare(win.videoViewLoader.item.tileFor(""), null)
        // A class of another type reloads the video window, which gets its count on load.
        LMRUserInfo.setClassRoomInfo(JSON.stringify({ "token": "class-4", "classname": "Demo", "cls_user_type": "teacher",
                                                      "cls_category": 6, "users": members }))
        win.setMedia()
        tryCompare(win.videoViewLoader.item, "count", 3)
        compare(win.videoViewLoader.item.userNum, 3)
    }

    // Leaving the media room, or the class, lets the device test run again.
    function test_deviceTestReopensAfterLeavingTheClass() {
        var win = loader.item
        LMRUserInfo.setIsInClassRoom(false)
        win.classroom.engineJoined("agora joined", LMRUserInfo.MediaType_Agora)
        verify(LMRUserInfo.getIsInClassRoom())
        verify(!win.showDeviceView())
        compare(win.msgBox.msgId, "deviceTestInClass")
        win.msgBox.close()
        win.classroom.engineLeft("agora roomlogout callback", LMRMsgId.id_agora_voiceRoomLogout())
        verify(!LMRUserInfo.getIsInClassRoom())
        verify(win.showDeviceView())
        tryCompare(win.testDeviceView, "opened", true)
        win.testDeviceView.closeWindow()

        LMRUserInfo.setIsInClassRoom(true)
        win.webview.sgQuitClassRoom()
        verify(!LMRUserInfo.getIsInClassRoom())
    }

    function test_settingsViewWritesTheSettings() {
        var win = loader.item
        cppConfigFile.setProtectedEye(false)
        cppConfigFile.setQMLRender("GL")
        cppConfigFile.setMainUrlMode(1)
        cppConfigFile.setPenFlag(false)
        win.isShow(false)
        win.showMainSettingView()
        tryCompare(win.settingView, "opened", true)
        var body = win.settingView.contentItem
        choose(find(body, "eyeOn"))
        compare(cppConfigFile.getProtectedEye(), true)
        compare(win.is_root_eye_visible, true)
        choose(find(body, "eyeOff"))
        compare(cppConfigFile.getProtectedEye(), false)
        compare(win.is_root_eye_visible, false)

        choose(find(body, "penOn"))
        compare(cppConfigFile.getPenFlag(), true)

        // Only the render modes this platform has are offered.
        compare(find(body, "renderGLES").visible, Qt.platform.os === "windows")
        verify(find(body, "renderGL").visible && find(body, "renderSoft").visible)

        // Render engine and SSL only take effect after a restart: say so.
        verify(!win.msgBox.opened)
        choose(find(body, "renderSoft"))
        compare(cppConfigFile.getQMLRender(), "SOFT")
        verify(cppTestLog.logText().indexOf("render:SOFT") >= 0)
        compare(win.msgBox.msgId, "restart")
        compare(win.msgBox.text, "Please restart the client!")
        win.msgBox.close()
        choose(find(body, "sslClose"))
        compare(cppConfigFile.getMainUrlMode(), 3)
        verify(cppTestLog.logText().indexOf("m_SSLmode:3") >= 0)
        verify(win.msgBox.opened)
        win.msgBox.close()

        // Choosing what is already chosen asks nothing.
        choose(find(body, "renderSoft"))
        verify(!win.msgBox.opened)

        // A folder that cannot hold recordings keeps the old one, and says so.
        var before = cppDir.getCurrentDirPath()
        var dirBox = find(body, "dirBox")
        verify(!win.settingView.changeDirectory("/proc/lumira-not-writable"))
        compare(cppDir.getCurrentDirPath(), before)
        compare(find(body, "dirText").text, before + "/record") // where recordings go, not the data root
        compare(dirBox.msgId, "dirRefused")
        verify(dirBox.opened)
        dirBox.close()
        // A usable one is taken at the next start, and a restart is offered.
        verify(win.settingView.changeDirectory("file://" + before))
        compare(cppDir.getCurrentDirPath(), before + "/lumira")
        compare(find(body, "dirText").text, before + "/lumira/record")
        compare(dirBox.msgId, "dirRestart")
        compare(dirBox.okText, "Restart now")
        dirBox.close()
        cppDir.resetMainPath()

        // Reopening shows what the file holds.
        win.settingView.close()
        cppConfigFile.setQMLRender("GL")
        win.showMainSettingView()
        tryCompare(win.settingView, "opened", true)
        compare(find(win.settingView.contentItem, "renderGL").checked, true)
        compare(find(win.settingView.contentItem, "sslClose").checked, true)
        cppConfigFile.setMainUrlMode(1)
        cppConfigFile.setPenFlag(false)
    }

    function test_settingMenuEntries() {
        var win = loader.item
        cppConfigFile.setClearBrowserStatus(false)
        clickOn(find(win, "m_btnSetting")) // makes the menu the first time
        tryCompare(win.settingMenu, "opened", true)
        clickOn(find(win.settingMenu.contentItem, "itemClearBrowser"))
        compare(cppConfigFile.getClearBrowserFlag(), true)
        compare(win.msgBox.msgId, "restart")
        compare(win.msgBox.okText, "OK")
        tryCompare(win.settingMenu, "visible", false)
        win.msgBox.close()

        win.settingMenu.open()
        clickOn(find(win.settingMenu.contentItem, "itemAbout"))
        tryCompare(win.aboutView, "opened", true)
        win.aboutView.close()

        cppConfigFile.setMicVolumeScale("1.0")
        win.settingMenu.trigger("micVolumeUp")
        compare(cppConfigFile.getMicVolumeScale(), "1.5")
        win.settingMenu.trigger("micVolumeUp")
        compare(cppConfigFile.getMicVolumeScale(), "1.0")

        LMRUserInfo.setIsInClassRoom(true)
        win.settingMenu.trigger("deviceTest")
        compare(win.msgBox.msgId, "deviceTestInClass")
        verify(!win.testDeviceView || !win.testDeviceView.opened)
        LMRUserInfo.setIsInClassRoom(false)
    }

    function test_helpMenuEntries() {
        var win = loader.item
        win.openHelpMenu()
        tryCompare(win.helpMenu, "opened", true)
        clickOn(find(win.helpMenu.contentItem, "itemFaq"))
        compare(cppTestLog.openedUrl(), cppConfigFile.getFaqUrl())
        verify(cppConfigFile.getFaqUrl().length > 0)
        verify(!win.msgBox.opened)

        // With no browser to open it in, the address is shown to copy.
        var opener = win.helpMenu.openUrl
        win.helpMenu.openUrl = function (url) { return false }
        win.helpMenu.trigger("faq")
        win.helpMenu.openUrl = opener
        compare(win.msgBox.msgId, "faqUnreachable")
        compare(win.msgBox.detail, cppConfigFile.getFaqUrl())
        var edit = find(win.msgBox, "detailEdit")
        verify(edit.visible && edit.readOnly && edit.selectByMouse)
        compare(edit.text, cppConfigFile.getFaqUrl())
        win.msgBox.close()
        win.msgBox.openMsg("other", "x", 1, "", "OK")
        compare(win.msgBox.detail, "")
        verify(!find(win.msgBox, "detailEdit").visible)
        win.msgBox.close()
        win.helpMenu.trigger("feedback")
        compare(lastToPage().func, "jsDeviceOpenProblem")
    }

    function test_differentPlaceLoginLeavesTheClass() {
        var win = loader.item
        cppNotify.sgNotifyQML(JSON.stringify({ "msgId": "differentPlaceLog" }))
        compare(win.msgBox.msgId, "differentPlaceLog")
        compare(win.msgBox.text, "Your account has been logged in a different place! the classroom will be launched soon!")
        compare(lastToPage().func, "goOutClassRoom")
        win.msgBox.close()
        cppNotify.sgNotifyQML("{broken")
        verify(!win.msgBox.opened)
    }

    function test_courseWareNeedsAnEngine() {
        var win = loader.item
        LMRUserInfo.setUseMediaType(LMRUserInfo.MediaType_Unknow)
        verify(!win.playMediaFile("file:///tmp/a.mp3"))
        verify(cppTestLog.logText().indexOf("play unknow media type") >= 0)
        verify(!win.audioPlaying)
    }

    function test_quitDefersToTheUploadDialog() {
        // A window of its own: quitting marks it closed for good.
        var win = Qt.createComponent("qrc:/lmr_controls/LMRWindow.qml").createObject(testCase)
        verify(win)
        recordDispatcher.uploading = true
        cppTestLog.closeNextModal()
        win.askQuit()
        compare(cppTestLog.modalSeen(), "uploadProgressDialog")
        verify(!win.msgBox.opened) // no second question
        verify(win.closing)
        verify(cppTestLog.logText().indexOf("btn lmr app quit") >= 0)
        recordDispatcher.uploading = false
        win.destroy()

        // Without uploads the question comes first and Cancel keeps the window.
        win = Qt.createComponent("qrc:/lmr_controls/LMRWindow.qml").createObject(testCase)
        win.askQuit()
        compare(win.msgBox.msgId, "quit")
        win.msgBox.rejected("quit")
        verify(!win.closing)
        win.destroy()
    }
}

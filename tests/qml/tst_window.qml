import QtQuick 2.12
import QtTest 1.2
import LMRUserInfo 1.0

TestCase {
    id: testCase
    name: "ClassroomWindow"
    width: 1280
    height: 720
    when: windowShown

    Loader {
        id: loader
        source: "qrc:/lmr_controls/LMRWindow.qml"
    }

    function classInfo(category, users) {
        return JSON.stringify({ "token": "class-1", "classname": "Demo", "cls_user_type": "teacher",
                                "cls_category": category, "users": users })
    }

    readonly property var members: [
        { "role": "teacher", "uid": "10001", "name": "T", "agora_id": "10001" },
        { "role": "student", "uid": "20002", "name": "S1", "agora_id": "20002" },
        { "role": "student", "uid": "20003", "name": "S2", "agora_id": "20003" }
    ]

    function test_eyeColourFromTheValue() {
        var eye = Qt.createComponent("qrc:/lmr_controls/LMREyeView.qml").createObject(testCase)
        eye.changeColor(0.5)
        compare(String(eye.color), "#7f452b00")
        eye.changeColor(0)
        compare(String(eye.color), "#00452b00")
        eye.changeColor(1) // opaque colours print without their alpha
        compare(String(eye.color), "#452b00")
        compare(eye.color.a, 1)
        eye.changeColor(7) // out of range is clamped
        compare(String(eye.color), "#452b00")
        eye.changeColor("garbage")
        compare(String(eye.color), "#00452b00")
        eye.destroy()
    }

    function test_classTypeChoosesTheVideoWindow_data() {
        return [
            { tag: "one-to-one", category: 1, source: "qrc:/lmr_controls/LMR1V1.qml", tiles: 2 },
            { tag: "also one-to-one", category: 3, source: "qrc:/lmr_controls/LMR1V1.qml", tiles: 2 },
            { tag: "mini class", category: 5, source: "qrc:/lmr_controls/LMR1VMini.qml", tiles: 3 },
            { tag: "training class", category: 6, source: "qrc:/lmr_controls/LMR1VN.qml", tiles: 3 }
        ]
    }

    function test_classTypeChoosesTheVideoWindow(data) {
        var win = loader.item
        verify(win)
        LMRUserInfo.resetClassUserInfo()
        LMRUserInfo.setClassRoomInfo(classInfo(data.category, members))
        win.setMedia()
        compare(String(win.videoViewLoader.source), data.source)
        // A one-to-one class shows the first teacher and the first student only.
        compare(win.tiles.count, data.tiles)
        compare(win.tiles.get(0).role, "teacher")
        tryCompare(win.videoViewLoader, "status", Loader.Ready)
        tryCompare(win.videoViewLoader.item, "count", data.tiles)
    }

    function test_unknownRoleIsLoggedAndSkipped() {
        var win = loader.item
        compare(win.memberRecord({ "role": "parent", "uid": "9" }), null)
        verify(cppTestLog.logText().indexOf("unknow class role") >= 0)
        var record = win.memberRecord({ "role": "jiaowu", "uid": "30003", "name": "A", "agora_id": "33" })
        compare(record.role, "jiaowu")
        compare(record.agoraId, "33")
        compare(record.isShowBackground, true)
    }

    function test_quitClassClearsTheVideoWindow() {
        var win = loader.item
        LMRUserInfo.setClassRoomInfo(classInfo(1, members))
        win.setMedia()
        compare(win.tiles.count, 2)
        win.clearModel()
        compare(win.tiles.count, 0)
    }

    function test_deviceTestIsRefusedInClass() {
        var win = loader.item
        LMRUserInfo.setIsInClassRoom(true)
        verify(!win.showDeviceView())
        verify(win.msgBox.opened)
        compare(win.msgBox.msgId, "deviceTestInClass")
        compare(win.msgBox.text, "Please exit the classroom and perform equipment testing!")
        win.msgBox.close()
        LMRUserInfo.setIsInClassRoom(false)
        verify(win.showDeviceView())
        verify(!win.msgBox.opened)
        tryCompare(win.testDeviceView, "opened", true)
        win.testDeviceView.close()
    }

    function test_settingsMenuOpensTheDeviceTest() {
        var win = loader.item
        LMRUserInfo.setIsInClassRoom(false)
        win.openSettingMenu()
        tryCompare(win.settingMenu, "opened", true)
        mouseClick(findChild(win.settingMenu.contentItem, "itemDeviceTest"))
        tryCompare(win.testDeviceView, "opened", true)
        win.testDeviceView.closeWindow()
        verify(!win.testDeviceView.opened)
    }

    function test_pageOpensTheDeviceTestFromItsHomeView() {
        var win = loader.item
        LMRUserInfo.setIsInClassRoom(false)
        cppConfigFile.setHomeFlag(false)
        win.webview.callQML(JSON.stringify({ "request": "module_device_test://", "id": 31, "homeFlag": true }))
        tryCompare(win.testDeviceView, "opened", true)
        verify(cppConfigFile.getHomeFlag())
        compare(win.testDeviceView.currentPage, 0, "the test starts with the speaker")
        win.testDeviceView.closeWindow()
        verify(!win.testDeviceView.opened)
        verify(!cppConfigFile.getHomeFlag(), "the page is back on its home view")
    }

    function test_quitAsksFirstAndAnOngoingCourseComesFirst() {
        var win = loader.item
        win.askQuit()
        compare(win.msgBox.msgId, "quit")
        compare(win.msgBox.buttonCount, 2)
        compare(win.msgBox.okText, "Exit")
        compare(win.msgBox.cancelText, "Cancel")
        win.msgBox.close()
        win.webview.isgetOngoingCourse = true
        win.askQuit()
        compare(win.msgBox.msgId, "QuitApp")
        compare(win.msgBox.okText, "GoTo")
        win.msgBox.close()
        win.webview.isgetOngoingCourse = false
    }

    function test_pageAlertsShowInTheWindow() {
        var win = loader.item
        win.webview.showDeciceWarning("NoMicNoSpeaker")
        verify(win.msgBox.opened)
        verify(win.msgBox.text.indexOf("No microphone and  was speaker detected") === 0)
        win.msgBox.close()
    }
}

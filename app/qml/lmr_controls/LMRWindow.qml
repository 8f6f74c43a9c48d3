import QtQuick 2.12
import QtQuick.Window 2.12
import "qrc:/controls"
import LMRMsgId 1.0
import LMRUserInfo 1.0

// Shell of the classroom window: title bar and the area that will host the
// lesson page. The start-up and focus paths call the three functions below.
Item {
    id: root
    objectName: "root"
    width: 1280
    height: 720

    property string activeWindowName: ""
    property alias videoViewLoader: m_videoViewLoader
    property alias tiles: tileModel
    property alias msgBox: m_msgBox
    property alias webview: m_webview
    property bool is_root_eye_visible: cppConfigFile.getProtectedEye()
    property int _networkTransportDelay: 0
    property int _lastmileDelay: 0
    property int _serverDelay: 0

    // Close button: confirm first; an unfinished course is offered instead.
    function askQuit() {
        if (typeof recordDispatcher !== "undefined" && recordDispatcher.isUploading()) {
            if (cppNotify.quitUploadingDialog())
                quitApp()
            return
        }
        if (m_webview.isgetOngoingCourse) {
            m_msgBox.openMsg("QuitApp", qsTr("The system has detected that you still have courses in progress\n wse suggest that you finish the current course first!"), 1, "", qsTr("GoTo"))
            return
        }
        m_msgBox.openMsg("quit", qsTr("Are you sure you want to exit the client?"), 2, qsTr("Cancel"), qsTr("Exit"))
    }

    function quitApp() {
        cppLog.uiClick("btn lmr app quit")
        cppNotify.triggerSgNotifyH5(cppNotify.callH5_quitClassRoom())
        closeQML() // releases the engines and closes the browsers, which ends the event loop
    }

    // The device test is for outside class only.
    function showDeviceView() {
        if (LMRUserInfo.getIsInClassRoom()) {
            m_msgBox.openMsg("deviceTestInClass", qsTr("Please exit the classroom and perform equipment testing!"), 1, "", qsTr("OK"))
            return false
        }
        cppLog.uiClick("open device test")
        return true
    }

    function releaseMedia() {
        cppLog.avInfo("all Engine,releaseMedia!!")
        if (typeof agoraEngine !== "undefined")
            agoraEngine.release()
    }

    property bool closing: false
    function closeQML() {
        if (closing)
            return // the quit handler calls it again after the window did
        closing = true
        releaseMedia()
        cppLog.otherInfo("quit app,closeQML!!")
        cppCef.closeAllBrowser()
    }
    function rootActive(windowName) {
        activeWindowName = String(windowName)
    }
    function rootInactive() {
        activeWindowName = ""
    }

    Rectangle {
        anchors.fill: parent
        color: "#f4f6fa"
        radius: 6
    }

    Rectangle {
        id: titleBar
        anchors { left: parent.left; right: parent.right; top: parent.top }
        height: 40
        color: "#2f6bff"

        MouseArea {
            anchors.fill: parent
            property point pressPos
            onPressed: pressPos = Qt.point(mouse.x, mouse.y)
            onPositionChanged: {
                cppWindow.x += mouse.x - pressPos.x
                cppWindow.y += mouse.y - pressPos.y
            }
        }

        Text {
            id: titleText
            anchors { left: parent.left; leftMargin: 16; verticalCenter: parent.verticalCenter }
            text: "Lumira  " + cppConfigFile.getVersion()
            color: "white"
            font.pixelSize: 16
        }
        Text {
            objectName: "delayText"
            anchors { left: titleText.right; leftMargin: 24; verticalCenter: parent.verticalCenter }
            visible: root._lastmileDelay > 0
            text: "网络 " + root._lastmileDelay + " ms  ·  音频 " + root._networkTransportDelay + " ms"
            color: "#dce6ff"
            font.pixelSize: 12
        }

        Row {
            anchors { right: parent.right; rightMargin: 8; verticalCenter: parent.verticalCenter }
            spacing: 4
            TitleButton {
                objectName: "minButton"
                glyph: "\u2013"
                onClicked: cppWindow.showMinimized()
            }
            TitleButton {
                objectName: "closeButton"
                glyph: "\u2715"
                onClicked: root.askQuit()
            }
        }
    }

    // The lesson page: the main browser is placed in this host by cppCef and
    // sized through setResize.
    Item {
        id: root_cef
        objectName: "root_cef"
        anchors { left: parent.left; right: videoArea.visible ? videoArea.left : parent.right
                  top: titleBar.bottom; bottom: parent.bottom }
        clip: true

        Text {
            anchors.centerIn: parent
            text: "课堂页面加载中…"
            color: "#5b6475"
            font.pixelSize: 22
        }

        function resizePage() {
            if (width > 0 && height > 0)
                cppCef.setResize(width, height, true)
        }
        onWidthChanged: resizePage()
        onHeightChanged: resizePage()
        Component.onCompleted: resizePage()
    }

    // Eye protection: a tinted, input-transparent window over the screen.
    Window {
        id: eyeWindow
        objectName: "lumira_eye"
        title: "lumira_eye"
        flags: Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint | Qt.WindowTransparentForInput | Qt.Tool
        color: "transparent"
        x: Screen.virtualX
        y: Screen.virtualY
        width: Screen.width
        height: Screen.height
        visible: root.is_root_eye_visible
        LMREyeView {
            id: eyeView
            anchors.fill: parent
            Component.onCompleted: changeColor(cppConfigFile.getProtectedEyeValue())
        }
    }

    // Tells the page the delays every few seconds while in a room.
    Timer {
        id: delayTimer
        interval: 3000
        repeat: true
        running: root._lastmileDelay > 0
        onTriggered: {
            root._serverDelay = cppNotify.getServerDelay()
            cppNotify.triggerSgNotifyH5(cppNotify.callH5_jsDelay(root._networkTransportDelay, root._lastmileDelay,
                                                                  root._serverDelay))
        }
    }

    function isShow(flag) {
        eyeView.changeColor(cppConfigFile.getProtectedEyeValue())
        is_root_eye_visible = flag
    }

    // The class's video window, chosen by class type when a class is joined.
    ListModel { id: tileModel }

    Rectangle {
        id: videoArea
        objectName: "videoArea"
        visible: m_videoViewLoader.status === Loader.Ready
        anchors { right: parent.right; top: titleBar.bottom; bottom: parent.bottom }
        width: 280
        color: "#151a24"
        Loader {
            id: m_videoViewLoader
            objectName: "m_videoViewLoader"
            anchors { fill: parent; margins: 8 }
            onLoaded: item.model = tileModel
        }
    }

    function memberRecord(member) {
        var role = member.role === "teacher" ? "teacher" : (member.role === "student" ? "student"
                                                              : (member.role === "jiaowu" ? "jiaowu" : ""))
        if (role === "") {
            cppLog.otherError("unknow class role")
            return null
        }
        return { "uid": String(member.uid || ""), "agoraId": String(member.agora_id || member.uid || ""),
                 "iliveId": String(member.qlive_id || ""), "trtcId": String(member.trtc_id || ""),
                 "zgrtcId": String(member.zego_id || ""), "name": String(member.name || ""), "role": role,
                 "isOnline": String(member.uid) === cppConfigFile.getUserID(), "isShowBackground": true }
    }

    function setMedia() {
        clearModel()
        var type = LMRUserInfo.getClassType()
        var members = []
        if (type === LMRUserInfo.ClassType_1V1) {
            m_videoViewLoader.source = "qrc:/lmr_controls/LMR1V1.qml"
            members = [JSON.parse(LMRUserInfo.get1V1TeacherInfo()), JSON.parse(LMRUserInfo.get1V1StudentInfo())]
        } else {
            m_videoViewLoader.source = type === LMRUserInfo.ClassType_MiniClass ? "qrc:/lmr_controls/LMR1VMini.qml"
                                                                              : "qrc:/lmr_controls/LMR1VN.qml"
            members = JSON.parse(LMRUserInfo.get1VNTeacherInfo()).concat(JSON.parse(LMRUserInfo.get1VNStudentInfo()))
        }
        for (var i = 0; i < members.length; ++i) {
            if (!members[i] || members[i].role === undefined)
                continue
            var record = memberRecord(members[i])
            if (record)
                tileModel.append(record)
        }
    }

    function clearModel() {
        tileModel.clear()
    }

    // Hands every tile to the engine: ours as the local view, the others by vendor id.
    function attachVideo(engine) {
        var videoWindow = m_videoViewLoader.item
        if (!videoWindow || !engine)
            return
        for (var i = 0; i < videoWindow.count; ++i) {
            var tile = videoWindow.tileAt(i)
            if (!tile)
                continue
            if (tile.uid === cppConfigFile.getUserID()) {
                engine.setupLocalVideo(tile.view())
                tile.isShowBackground = false
            } else {
                engine.setupRemoteVideo(tile.agoraId, tile.view())
            }
        }
    }

    LMRWebView {
        id: m_webview
        onSgAlertBoxView: m_msgBox.openMsg(id, msg, buttonCount, cancel_button, ok_button)
        onSgMessageBoxView: m_msgBox.openMsg(id, msg, buttonCount, cancel_button, ok_button)
        onSgOpenDeviceTestView: root.showDeviceView()
        onSgJoinClassRoom: setMedia()
        onSgQuitClassRoom: {
            clearModel()
            m_videoViewLoader.source = ""
        }
    }

    Connections {
        target: cppCef
        function onSgWebMsgReceived(msg) { m_webview.callQML(msg) }
    }

    Connections {
        target: typeof agoraEngine !== "undefined" ? agoraEngine : null
        ignoreUnknownSignals: true
        function onJoined() {
            cppLog.avInfo("agora joined")
            LMRUserInfo.setUseMediaType(LMRUserInfo.MediaType_Agora)
            LMRUserInfo.setIsInClassRoom(true)
            attachVideo(agoraEngine)
            m_webview.answerLogin("agora")
        }
        function onRtcStats(lastmileDelay) { root._lastmileDelay = lastmileDelay }
        function onRemoteAudioStats(networkTransportDelay) { root._networkTransportDelay = networkTransportDelay }
        function onVolumeChanged(uid, value) {
            var videoWindow = m_videoViewLoader.item
            var tile = videoWindow ? videoWindow.tileFor(uid) : null
            if (tile)
                tile.micLevel = value
        }
        function onUserVideoAvailable(uid, available) {
            var videoWindow = m_videoViewLoader.item
            var tile = videoWindow ? videoWindow.tileFor(uid) : null
            if (tile) {
                tile.isShowBackground = !available
                tile.isOnline = tile.isOnline || available
            }
        }
        function onLeavingChannel() {
            cppLog.avInfo("agora roomlogout callback")
            root._lastmileDelay = 0
            root._networkTransportDelay = 0
            var key = LMRMsgId.id_agora_voiceRoomLogout()
            if (LMRMsgId.hasCallBackMessage(key)) {
                m_webview.callback(m_webview.createSuccessMsg(LMRMsgId.getCallBackMessageID(key),
                                                              LMRMsgId.getCallBackMessageRequest(key), ""))
                LMRMsgId.completedCallBackMessage(key)
            }
        }
    }

    BCMsgBox {
        id: m_msgBox
        objectName: "m_msgBox"
        onAccepted: {
            if (id === "quit")
                root.quitApp()
            else if (id === "QuitApp" || id === "openClassList")
                cppCef.resetHomePage() // the page's home is its class list
        }
    }
}

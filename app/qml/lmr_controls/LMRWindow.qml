import QtQuick 2.12
import QtQuick.Window 2.12
import QtQuick.Controls 2.12
import "qrc:/controls"
import LMRMsgId 1.0
import LMRUserInfo 1.0
import "LMRWindowGeometry.js" as Geometry

// The classroom window: title bar, the lesson page host, the class's video
// window, the courseware player and the pop-up views. The start-up, focus
// and quit paths call rootActive, rootInactive and closeQML.
Item {
    id: root
    objectName: "root"
    width: 1280
    height: 720

    // The screen's zoom factor: the window draws this content scaled by it.
    property real zoom: 1
    property string titleText: "Lumira  " + cppConfigFile.getVersion()
    property string typeText: ""
    property int titleBarHeight: 40
    property alias _networkTransportDelay: m_classroom.networkTransportDelay
    property alias _lastmileDelay: m_classroom.lastmileDelay
    property int _serverDelay: 0
    property string h5version: ""
    property bool is_root_eye_visible: cppConfigFile.getProtectedEye()
    property bool is_m_videoViewLoader_visible: true
    property bool is_root_player_visible: false
    property bool is_root_mac_review_access_visible: Qt.platform.os === "osx"
    property bool isMinimize: false
    property bool is_move_video: false
    property bool isLocked: false
    property bool isMaximized: false
    property string activeWindowName: ""

    property alias videoViewLoader: m_videoViewLoader
    // Made the first time the video is moved out (null until then), then kept.
    readonly property var videoWindow: videoWindowLoader.item
    property alias tiles: m_classroom.tiles
    property alias classroom: m_classroom
    property alias msgBox: m_msgBox
    property alias webview: m_webview
    // The title-bar menus are made when first opened (null until then).
    readonly property var settingMenu: settingMenuLoader.item
    readonly property var helpMenu: helpMenuLoader.item
    property alias settingView: m_views.settingView
    property alias aboutView: m_views.aboutView
    property alias testDeviceView: m_views.testDeviceView
    // The courseware player is made when a file is first played (null until then).
    readonly property var audioPlayer: audioPlayerLoader.item
    readonly property bool audioPlaying: audioPlayer !== null && audioPlayer.playing

    // Geometry and flags to go back to after the lock screen or maximising.
    property rect normalGeometry: Qt.rect(0, 0, 0, 0)
    property int unlockedFlags: 0
    readonly property int framelessFlags: Qt.FramelessWindowHint | Qt.NoDropShadowWindowHint
                                          | Qt.WindowCloseButtonHint | Qt.CustomizeWindowHint
                                          | Qt.WindowMinimizeButtonHint

    // ---- quit -------------------------------------------------------------

    // Close button: confirm first; uploads and unfinished courses come first.
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
        release()
        closeQML() // releases the engines and closes the browsers, which ends the event loop
    }

    function releaseMedia() {
        cppLog.avInfo("all Engine,releaseMedia!!")
        var names = ["agoraEngine", "trtcEngine", "zgRtcEngine", "iliveEngine"]
        for (var i = 0; i < names.length; ++i) {
            var engine = m_webview.service(names[i])
            if (engine)
                engine.release()
        }
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

    // What the window itself holds: the player, the tiles, pending timers.
    function release() {
        if (audioPlaying)
            audioPlayer.stop()
        clearModel()
        m_webview.release()
    }

    // ---- focus, window geometry -------------------------------------------

    function rootActive(windowName) {
        activeWindowName = String(windowName)
    }
    function rootInactive() {
        activeWindowName = ""
    }

    function availableRect() { return Geometry.availableRect(cppTool, cppWindow) }
    function rememberGeometry() { normalGeometry = Geometry.rectOf(cppWindow) }
    function restoreGeometry() {
        if (normalGeometry.width > 0)
            Geometry.place(cppWindow, normalGeometry)
    }
    function fillAvailable() { Geometry.place(cppWindow, availableRect()) }

    function windowMaximized() {
        if (isLocked)
            return
        if (isMaximized) {
            restoreGeometry()
        } else {
            rememberGeometry()
            fillAvailable()
        }
        isMaximized = !isMaximized
    }
    // The page asks for the full screen height (flag) or the normal height back.
    function windowHeightExtrude(flag) {
        var r = availableRect()
        if (flag) {
            if (!isMaximized)
                rememberGeometry()
            cppWindow.y = r.y
            cppWindow.height = r.height
        } else if (normalGeometry.height > 0 && !isMaximized) {
            cppWindow.y = normalGeometry.y
            cppWindow.height = normalGeometry.height
        }
    }
    // Centres the window on the screen it is on.
    function middle(args) {
        var r = availableRect()
        cppWindow.x = r.x + Math.max(0, (r.width - cppWindow.width) / 2)
        cppWindow.y = r.y + Math.max(0, (r.height - cppWindow.height) / 2)
    }
    function setRaise() {
        if (cppWindow.visibility === Window.Minimized)
            cppWindow.showNormal()
        cppWindow.raise()
        cppWindow.requestActivate()
        isMinimize = false
    }
    function minimize() {
        isMinimize = true
        cppWindow.showMinimized()
    }

    function lock() {
        if (isLocked)
            return
        isLocked = true
        unlockedFlags = cppWindow.flags
        rememberGeometry()
        cppWindow.flags = unlockedFlags | Qt.WindowStaysOnTopHint
        fillAvailable()
        setRaise()
    }
    function unlock() {
        if (!isLocked)
            return
        isLocked = false
        cppWindow.flags = unlockedFlags !== 0 ? unlockedFlags : framelessFlags
        restoreGeometry()
        isMaximized = false
    }

    function setTimeout(cb, delayTime) {
        var timer = Qt.createQmlObject("import QtQuick 2.12; Timer { repeat: false }", root)
        timer.interval = delayTime
        timer.triggered.connect(function () {
            cb()
            timer.destroy()
        })
        timer.start()
        return timer
    }

    // ---- pop-up views -----------------------------------------------------

    // The device test is for outside class only.
    function showDeviceView() {
        if (LMRUserInfo.getIsInClassRoom()) {
            m_msgBox.openMsg("deviceTestInClass", qsTr("Please exit the classroom and perform equipment testing!"), 1, "", qsTr("OK"))
            return false
        }
        cppLog.uiClick("open device test")
        m_views.testDevice().open()
        return true
    }
    function showMainSettingView() {
        cppLog.uiClick("open advanced setting")
        m_views.settings().open()
    }
    function showAboutView() {
        cppLog.uiClick("open about")
        m_views.about().open()
    }
    // Uploads come first, as on quit.
    function restartApp() {
        if (typeof recordDispatcher !== "undefined" && recordDispatcher.isUploading() && !cppNotify.quitUploadingDialog())
            return
        cppTool.requestRestart()
        quitApp()
    }
    function askRestart() {
        m_msgBox.openMsg("restart", qsTr("Please restart the client!"), 1, "", qsTr("OK"))
    }

    // ---- title-bar menus --------------------------------------------------

    function openHelpMenu() { helpMenuLoader.open() }
    function openSettingMenu() { settingMenuLoader.open() }

    // ---- eye protection ---------------------------------------------------

    function isShow(flag) {
        m_eye.refresh()
        is_root_eye_visible = flag
    }

    // ---- video window -----------------------------------------------------

    function videoAreaShowMode(flag) {
        is_m_videoViewLoader_visible = flag
    }
    // Moves the video window out into its own window "lumira_video" and back.
    function moveView() {
        if (!is_move_video) {
            videoWindowLoader.active = true
            videoWindow.placeBeside(Qt.rect(cppWindow.x, cppWindow.y, cppWindow.width, cppWindow.height),
                                    availableRect(), titleBar.height * zoom)
        }
        is_move_video = !is_move_video
        cppLog.uiClick(is_move_video ? "video window out" : "video window in")
    }

    // The class's tiles and engines live in LMRClassroom; these are the
    // window's entry points to them.
    function memberRecord(member) { return m_classroom.memberRecord(member) }
    function setMedia() { m_classroom.setMedia() }
    function clearModel() { m_classroom.clearModel() }
    function tileFor(id) { return m_classroom.tileFor(id) }
    function showSelfBackground(flag) { m_classroom.showSelfBackground(flag) }
    function updateOnline(json) { return m_classroom.updateOnline(json) }
    function currentEngine(logUnknown) { return m_classroom.currentEngine(logUnknown) }

    // ---- courseware audio -------------------------------------------------

    function openMediaDialog() {
        if (!currentEngine(true))
            return
        m_views.fileDialog().open()
    }
    function playMediaFile(url) {
        var engine = currentEngine(true)
        if (!engine)
            return false
        var path = cppTool.formatPath(String(url))
        is_root_player_visible = true
        audioPlayerLoader.active = true
        return audioPlayer.play(engine, path, cppTool.getFileName(path))
    }
    function hideVolumeView() {
        if (audioPlayer)
            audioPlayer.hideVolume()
    }

    // ---- layout -----------------------------------------------------------

    Rectangle {
        anchors.fill: parent
        color: "#f4f6fa"
    }

    BCTitleBar {
        id: titleBar
        objectName: "titleBar"
        anchors { left: parent.left; right: parent.right; top: parent.top }
        height: root.titleBarHeight
        titleText: root.titleText
        subText: root.typeText
        dragTarget: root.isLocked || root.isMaximized ? null : cppWindow
        onDoubleClicked: root.windowMaximized()
        leftItems: [
            Text {
                objectName: "delayText"
                visible: root._lastmileDelay > 0
                text: qsTr("Network") + " " + root._lastmileDelay + " ms  ·  " + qsTr("Audio") + " "
                      + root._networkTransportDelay + " ms"
                color: "#dce6ff"
                font.pixelSize: 12
            }
        ]

        BCTitlebarImageButton {
            id: m_btnTest
            objectName: "m_btnTest"
            source: "qrc:/images/titlebar/btn_TitleBar_test.svg"
            tip: qsTr("Device Test")
            onClicked: root.showDeviceView()
        }
        BCTitlebarImageButton {
            id: m_btnMedia
            objectName: "m_btnMedia"
            visible: m_videoViewLoader.status === Loader.Ready
            source: "qrc:/images/titlebar/btn_TitleBar_media.svg"
            tip: qsTr("Courseware audio")
            checked: root.audioPlaying
            onClicked: root.openMediaDialog()
        }
        BCTitlebarImageButton {
            id: m_btnHideVideo
            objectName: "m_btnHideVideo"
            visible: m_videoViewLoader.status === Loader.Ready
            source: root.is_m_videoViewLoader_visible ? "qrc:/images/titlebar/btn_TitleBar_hide.svg"
                                                      : "qrc:/images/titlebar/btn_TitleBar_show.svg"
            tip: root.is_m_videoViewLoader_visible ? qsTr("Hide video") : qsTr("Show video")
            onClicked: root.videoAreaShowMode(!root.is_m_videoViewLoader_visible)
        }
        BCTitlebarImageButton {
            id: m_btnHelp
            objectName: "m_btnHelp"
            source: "qrc:/images/titlebar/btn_TitleBar_help.svg"
            tip: qsTr("Help")
            checked: root.helpMenu !== null && root.helpMenu.visible
            onClicked: root.openHelpMenu()
            LMRMenuLoader {
                id: helpMenuLoader
                button: m_btnHelp
                zoom: root.zoom
                source: "qrc:/lmr_controls/LMRHelpMenu.qml"
                onLoaded: {
                    item.sgFaqUnreachable.connect(function (url) {
                        m_msgBox.openMsg("faqUnreachable",
                                         qsTr("No web browser could be opened. The help page is at this address:"),
                                         1, "", qsTr("OK"))
                        m_msgBox.detail = url
                    })
                }
            }
        }
        BCTitlebarImageButton {
            id: m_btnSetting
            objectName: "m_btnSetting"
            source: "qrc:/images/titlebar/btn_TitleBar_setting.svg"
            tip: qsTr("Setting")
            checked: root.settingMenu !== null && root.settingMenu.visible
            onClicked: root.openSettingMenu()
            LMRMenuLoader {
                id: settingMenuLoader
                button: m_btnSetting
                zoom: root.zoom
                source: "qrc:/lmr_controls/LMRSettingMenu.qml"
                onLoaded: {
                    item.sgDeviceTest.connect(root.showDeviceView)
                    item.sgAdvancedSetting.connect(root.showMainSettingView)
                    item.sgAbout.connect(root.showAboutView)
                    item.sgRestartNeeded.connect(root.askRestart)
                }
            }
        }
        BCTitlebarImageButton {
            id: m_btnMinimize
            objectName: "m_btnMinimize"
            source: "qrc:/images/titlebar/btn_TitleBar_minimize.svg"
            tip: qsTr("Minimize")
            onClicked: root.minimize()
        }
        BCTitlebarImageButton {
            id: m_btnClose
            objectName: "m_btnClose"
            source: "qrc:/images/titlebar/btn_TitleBar_close.svg"
            tip: qsTr("Close")
            hoverColor: "#e81123"
            onClicked: root.askQuit()
        }
    }

    // The lesson page: the main browser is placed in this host by cppCef and
    // sized through setResize.
    Item {
        id: root_cef
        objectName: "root_cef"
        anchors { left: parent.left; top: titleBar.bottom; bottom: parent.bottom
                  right: videoArea.visible && videoArea.parent === root ? videoArea.left : parent.right }
        clip: true

        Text {
            anchors.centerIn: parent
            text: "课堂页面加载中…"
            color: "#5b6475"
            font.pixelSize: 22
        }

        // In device pixels: the browser draws the page at the zoom itself.
        function resizePage() {
            cppCef.setZoom(root.zoom)
            if (width > 0 && height > 0)
                cppCef.setResize(Math.round(width * root.zoom), Math.round(height * root.zoom), true)
        }
        onWidthChanged: resizePage()
        onHeightChanged: resizePage()
        Connections { target: root; function onZoomChanged() { root_cef.resizePage() } }
        Component.onCompleted: resizePage()
    }

    // The class's video window, chosen by class type when a class is joined.
    LMRClassroom {
        id: m_classroom
        videoLoader: m_videoViewLoader
        webview: m_webview
        audioPlayer: root.audioPlayer
    }

    Rectangle {
        id: videoArea
        objectName: "videoArea"
        parent: root.is_move_video ? videoWindow.contentItem : root
        visible: m_videoViewLoader.status === Loader.Ready && root.is_m_videoViewLoader_visible
        x: root.is_move_video ? 0 : root.width - width
        y: root.is_move_video ? 0 : titleBar.height
        width: root.is_move_video ? videoWindow.width / root.zoom : 280
        height: root.is_move_video ? videoWindow.height / root.zoom : root.height - titleBar.height
        // In the window of its own it is scaled here; in this one, with the rest.
        scale: root.is_move_video ? root.zoom : 1
        transformOrigin: Item.TopLeft
        color: "#151a24"

        Loader {
            id: m_videoViewLoader
            objectName: "m_videoViewLoader"
            anchors { fill: parent; margins: 8; topMargin: 30 }
            onLoaded: {
                item.model = m_classroom.tiles
                m_classroom.passUserNum()
            }
        }
        Text {
            objectName: "moveVideoButton"
            anchors { right: parent.right; top: parent.top; rightMargin: 10; topMargin: 6 }
            text: root.is_move_video ? "\u21a9" : "\u2197"
            color: "#a9b1c0"
            font.pixelSize: 16
            MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: root.moveView() }
        }
    }

    // Windows and rarely used views are made when first used, not at start-up.
    // They load by address so that their documents are not even read before.
    Loader {
        id: videoWindowLoader
        active: false
        source: "qrc:/lmr_controls/LMRVideoWindow.qml"
        onLoaded: {
            item.zoom = Qt.binding(function () { return root.zoom })
            item.visible = Qt.binding(function () {
                return root.is_move_video && m_videoViewLoader.status === Loader.Ready
            })
            item.closing.connect(function () { root.is_move_video = false })
        }
    }

    LMREyeProtection {
        id: m_eye
        shown: root.is_root_eye_visible
        // The overlay holds the popups and lies over everything else.
        mainContent: Overlay.overlay
        videoContent: videoWindow ? videoWindow.contentItem : null
    }

    Loader {
        id: audioPlayerLoader
        active: false
        anchors { horizontalCenter: root_cef.horizontalCenter; bottom: parent.bottom; bottomMargin: 16 }
        width: 640
        visible: root.is_root_player_visible && root.audioPlaying
        source: "qrc:/lmr_controls/LMRAudioPlayerView.qml"
        onLoaded: item.closed.connect(function () { root.is_root_player_visible = false })
    }

    // Only macOS asks for this consent.
    Loader {
        active: root.is_root_mac_review_access_visible
        anchors.centerIn: parent
        z: 50
        source: "qrc:/lmr_controls/LMRMacReviewAccess.qml"
        onLoaded: item.sgClose.connect(function () { root.is_root_mac_review_access_visible = false })
    }

    LMRLazyViews {
        id: m_views
        window: root
    }
    Shortcut {
        sequence: "Ctrl+Shift+D"
        onActivated: m_views.testCode().open()
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

    // ---- signals from the page, the natives and the engines ---------------

    LMRWebView {
        id: m_webview
        Component.onCompleted: deviceTestOpener = root.showDeviceView
        onSgAlertBoxView: m_msgBox.openMsg(id, msg, buttonCount, cancel_button, ok_button)
        onSgMessageBoxView: m_msgBox.openMsg(id, msg, buttonCount, cancel_button, ok_button)
        onSgShowVideoArea: root.videoAreaShowMode(flag)
        onSgShowSelfVideoBackgroundView: root.showSelfBackground(flag)
        onSgUpdateUserRole: root.typeText = name
        onSgUpdateOnlineState: root.updateOnline(json)
        onSgH5version: root.h5version = version
        onSgJoinClassRoom: setMedia()
        onSgQuitClassRoom: {
            if (root.audioPlaying)
                root.audioPlayer.stop()
            clearModel()
            m_videoViewLoader.source = ""
            root.is_move_video = false
            LMRUserInfo.setIsInClassRoom(false)
        }
    }

    Connections {
        target: cppCef
        function onSgWebMsgReceived(msg) { m_webview.callQML(msg) }
    }

    Connections {
        target: cppNotify
        function onSgNotifyQML(json) {
            var obj
            try {
                obj = JSON.parse(json)
            } catch (e) {
                return // the page dispatcher logs it
            }
            if (obj && obj.msgId === "differentPlaceLog") {
                m_msgBox.openMsg("differentPlaceLog", qsTr("Your account has been logged in a different place! the classroom will be launched soon!"), 1, "", qsTr("OK"))
                cppNotify.triggerSgNotifyH5(cppNotify.callH5_jsGoOutClassRomm())
            }
        }
    }

    Connections {
        target: typeof cppLockScreen !== "undefined" ? cppLockScreen : null
        ignoreUnknownSignals: true
        function onSgLock() { root.lock() }
        function onSgUnLock() { root.unlock() }
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

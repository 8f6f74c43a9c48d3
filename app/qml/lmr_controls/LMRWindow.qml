import QtQuick 2.12
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

    function releaseMedia() {
        cppLog.avInfo("all Engine,releaseMedia!!")
        if (typeof agoraEngine !== "undefined")
            agoraEngine.release()
    }

    function closeQML() {
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
            anchors { left: parent.left; leftMargin: 16; verticalCenter: parent.verticalCenter }
            text: "Lumira  " + cppConfigFile.getVersion()
            color: "white"
            font.pixelSize: 16
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
                onClicked: Qt.quit()
            }
        }
    }

    // The lesson page: the main browser is placed in this host by cppCef and
    // sized through setResize.
    Item {
        id: root_cef
        objectName: "root_cef"
        anchors { left: parent.left; right: parent.right; top: titleBar.bottom; bottom: parent.bottom }
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

    LMRWebView {
        id: m_webview
        onSgAlertBoxView: cppLog.otherInfo("alert " + id + ": " + msg)
        onSgMessageBoxView: cppLog.otherInfo("message " + id + ": " + msg)
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
            m_webview.answerLogin("agora")
        }
        function onLeavingChannel() {
            cppLog.avInfo("agora roomlogout callback")
            var key = LMRMsgId.id_agora_voiceRoomLogout()
            if (LMRMsgId.hasCallBackMessage(key)) {
                m_webview.callback(m_webview.createSuccessMsg(LMRMsgId.getCallBackMessageID(key),
                                                              LMRMsgId.getCallBackMessageRequest(key), ""))
                LMRMsgId.completedCallBackMessage(key)
            }
        }
    }
}

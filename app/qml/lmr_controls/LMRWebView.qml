import QtQuick 2.12
import BCDevice 1.0
import LMRMsgId 1.0
import LMRUserInfo 1.0
import "LMRRequest.js" as Req

// Page request dispatcher: every page message enters at callQML(), is matched
// by its request name and answered through callback().
Item {
    id: m_webView

    property var jsobject: ({})
    property var m_object: ({})
    property bool isgetOngoingCourse: false
    property bool isgetOngoingCourseInit: false
    property int mainUrlSwitchCount: 0

    // Failure codes of the replies.
    readonly property int failureUnavailable: 1
    readonly property int failureBadRequest: 2
    readonly property int failureRefused: 3
    readonly property int failureInternal: 4
    // Page messages longer than this (UTF-8 bytes) are refused unread.
    readonly property int maxMessageBytes: Req.maxMessageBytes

    signal sgOpenDeviceTestView()
    // The window's device-test opener: returns false when it refused (in
    // class), so the page is told. Without one the signal alone is emitted.
    property var deviceTestOpener: null
    signal sgAlertBoxView(string id, string msg, int buttonCount, string cancel_button, string ok_button)
    signal sgMessageBoxView(string id, string msg, int buttonCount, string cancel_button, string ok_button)
    signal sgShowVideoArea(bool flag)
    signal sgShowSelfVideoBackgroundView(bool flag)
    signal sgShowRemoteVideoBackgroundView(bool flag)
    signal sgUpdateUserRole(string name)
    signal sgUi1V1()
    signal sgUpdateOnlineState(string json)
    signal sgJoinILiveRoom()
    signal sgOutILiveRoom()
    signal sgJoinAgoraRoom()
    signal sgOutAgoraRoom()
    signal sgJoinTRtcRoom()
    signal sgOutTRtcRoom()
    signal sgJoinZegoRoom()
    signal sgOutZegoRoom()
    signal sgJoinClassRoom(string l_id, string l_reuest, string l_msg)
    signal sgQuitClassRoom()
    signal sgH5version(string version)

    // Requests that go through the native registry, one at a time.
    readonly property var registryKeys: [
        LMRMsgId.id_user_info(), LMRMsgId.id_open_device(), LMRMsgId.id_system_info(),
        LMRMsgId.id_js_log_write(), LMRMsgId.id_join_classroom(), LMRMsgId.id_quit_classroom(),
        LMRMsgId.id_user_viewer(), LMRMsgId.id_capture_image(),
        LMRMsgId.id_trtc_voiceRoomLogout(), LMRMsgId.id_qcloud_voiceRoomLogout(),
        LMRMsgId.id_agora_voiceRoomLogout(), LMRMsgId.id_zego_voiceRoomLogout(),
        LMRMsgId.id_trtc_voiceRoomLogin(), LMRMsgId.id_qcloud_voiceRoomLogin(),
        LMRMsgId.id_agora_voiceRoomLogin(), LMRMsgId.id_zego_voiceRoomLogin()
    ]

    Timer {
        id: id_DelayTimer
        repeat: false
    }

    LMRMediaChannel {
        id: m_media
        dispatcher: m_webView
    }
    LMRRecordRequests {
        id: m_recordRequests
        dispatcher: m_webView
    }
    LMRSimRoomRequests {
        id: m_simRoomRequests
        dispatcher: m_webView
    }

    Connections {
        target: cppNotify
        function onSgNotifyQML(json) { m_webView.onSgNotifyQML(json) }
        function onSgNotifyH5(json) { m_webView.onSgNotifyH5(json) }
    }

    Connections {
        target: LMRMsgId
        function onSgGetMsgId(key, id, request, msg) { m_webView.onRegistryMessage(key, id, request, msg) }
    }

    // Services of later subsystems are published only once they exist.
    function service(name) {
        switch (name) {
        case "agoraEngine": return typeof agoraEngine !== "undefined" ? agoraEngine : null
        case "trtcEngine": return typeof trtcEngine !== "undefined" ? trtcEngine : null
        case "zgRtcEngine": return typeof zgRtcEngine !== "undefined" ? zgRtcEngine : null
        case "iliveEngine": return typeof iliveEngine !== "undefined" ? iliveEngine : null
        case "recordDispatcher": return typeof recordDispatcher !== "undefined" ? recordDispatcher : null
        case "cppLockScreen": return typeof cppLockScreen !== "undefined" ? cppLockScreen : null
        case "cppMicBoost": return typeof cppMicBoost !== "undefined" ? cppMicBoost : null
        case "cppAppUpdate": return typeof cppAppUpdate !== "undefined" ? cppAppUpdate : null
        case "cppSimRoom": return typeof cppSimRoom !== "undefined" ? cppSimRoom : null
        case "BCDevice": return BCDevice
        }
        return null
    }

    function createSuccessMsg(id, request, msg) {
        return { "request": request, "status": "success", "id": id, "successMsg": msg }
    }

    function createFailureMsg(id, request, failureId, msg) {
        return { "request": request, "status": "failure", "id": id, "failureVal": failureId, "failureMsg": msg }
    }

    function callback(msg) {
        // U+2028/2029 are valid in JSON but end a line in JavaScript source.
        var json = JSON.stringify(msg).replace(/\u2028/g, "\\u2028").replace(/\u2029/g, "\\u2029")
        cppCef.sendToWeb("qtQueryCallback(" + json + ")")
    }

    function answer(obj, msg) {
        callback(createSuccessMsg(obj.id, obj.request, msg))
    }

    function refuse(obj, code, text) {
        callback(createFailureMsg(obj.id, obj.request, code, text))
    }

    // Page text goes to the log through the two-part cppLog calls, which
    // escape line breaks: a page cannot write lines of its own.
    function logPageError(text, pageText) {
        cppLog.netError(text, Req.show(pageText))
    }

    function requestArgs(obj) {
        return Req.requestArgs(obj, logPageError)
    }

    // A handler that throws is logged and, when the request has an id,
    // answered with a failure; its registry message is still completed.
    function handlerFailed(obj, e) {
        var name = obj !== null && typeof obj === "object" ? Req.show(obj.request) : ""
        logPageError("request failed: " + e + " request:", name)
        if (obj === null || typeof obj !== "object" || obj.id === undefined || obj.id === null)
            return
        try {
            refuse(obj, failureInternal, "request failed")
        } catch (e2) {
            cppLog.netError("failure reply not sent: ", String(e2))
        }
    }

    function registryKeyOf(request) {
        for (var i = 0; i < registryKeys.length; ++i) {
            if (Req.isRequest(request, registryKeys[i]))
                return registryKeys[i]
        }
        return ""
    }

    function callQML(msgStr) {
        var text = typeof msgStr === "string" ? msgStr : Req.show(msgStr)
        var bytes = Req.oversize(text)
        if (bytes > 0) {
            cppLog.netError("page message refused, at least " + bytes + " bytes, begins:",
                            text.substring(0, Req.refusedPrefixChars))
            return
        }
        cppLog.netInfo("recv H5:", text)
        var obj
        try {
            obj = JSON.parse(text)
        } catch (e) {
            cppLog.netError("parse json error")
            return
        }
        if (obj === null || typeof obj !== "object" || Array.isArray(obj) || typeof obj.request !== "string") {
            cppLog.netError("parse json error")
            return
        }
        jsobject = obj
        m_object = obj
        var key = registryKeyOf(obj.request)
        if (key !== "") {
            LMRMsgId.addMessage(key, obj.id === undefined ? "" : Req.show(obj.id), obj.request, text)
            return
        }
        try {
            handleDirect(obj)
        } catch (e) {
            handlerFailed(obj, e)
        }
    }

    function onRegistryMessage(key, id, request, msg) {
        var obj = null
        try {
            obj = JSON.parse(msg)
            handleQueued(key, obj, msg)
        } catch (e) {
            handlerFailed(obj, e)
        } finally {
            LMRMsgId.completedMessage(key)
        }
    }

    function handleQueued(key, obj, msgStr) {
        var args = requestArgs(obj)
        if (key === LMRMsgId.id_user_info()) {
            signIn(obj, args)
        } else if (key === LMRMsgId.id_open_device()) {
            cppConfigFile.setHomeFlag(Req.isTrue(args.homeFlag) || args.flag === true)
            var opened = true
            if (typeof deviceTestOpener === "function")
                opened = deviceTestOpener() !== false
            else
                sgOpenDeviceTestView()
            if (opened)
                answer(obj, "")
            else
                refuse(obj, failureRefused, "device test refused: in class")
        } else if (key === LMRMsgId.id_system_info()) {
            answer(obj, cppNotify.jsonSystemInfo())
        } else if (key === LMRMsgId.id_js_log_write()) {
            var line = args.log !== undefined ? args.log : (args.msg !== undefined ? args.msg : msgStr)
            cppLog.netInfo("H5 log:", Req.show(line))
        } else if (key === LMRMsgId.id_join_classroom()) {
            joinClassRoom(obj, msgStr)
        } else if (key === LMRMsgId.id_quit_classroom()) {
            quitClassRoom(obj)
        } else if (key === LMRMsgId.id_user_viewer()) {
            var state = args.online_state
            sgUpdateOnlineState(typeof state === "string" ? state : Req.show(state === undefined ? [] : state))
        } else if (key === LMRMsgId.id_capture_image()) {
            cppNotify.jsonScreenshot()
        } else if (key === LMRMsgId.id_agora_voiceRoomLogin()) {
            agora_voiceRoomLogin(obj.id, obj.request, args)
        } else if (key === LMRMsgId.id_trtc_voiceRoomLogin()) {
            trtc_voiceRoomLogin(obj.id, obj.request, args)
        } else if (key === LMRMsgId.id_zego_voiceRoomLogin()) {
            zego_voiceRoomLogin(obj.id, obj.request, args)
        } else if (key === LMRMsgId.id_qcloud_voiceRoomLogin()) {
            qcloud_voiceRoomLogin(obj.id, obj.request, args)
        } else {
            // the four logout schemes
            closeChannel(obj.id, obj.request)
        }
    }

    function roleWord(role) {
        switch (role) {
        case LMRUserInfo.UserRole_Teacher: return "teacher"
        case LMRUserInfo.UserRole_Student: return "student"
        case LMRUserInfo.UserRole_Assistant: return "jiaowu"
        }
        return "assistant"
    }

    function signIn(obj, args) {
        // A role text the class information does not know ends the process
        // there; a missing or mistyped field is the page's mistake and is
        // refused before anything is stored.
        // The user id also names the recordings' files: a plain name only.
        var type = typeof args.userType === "string" && args.userType !== "" ? args.userType : null
        var userId = Req.plainName(args.userID)
        var name = Req.text(args.userName)
        if (type === null || userId === null || name === null) {
            cppLog.netError("user info refused: missing or bad userType, userID or userName")
            refuse(obj, failureBadRequest, "missing or bad userType, userID or userName")
            return
        }
        var token = Req.text(args.token) || ""
        LMRUserInfo.setUserInfo(type, userId, name, token)
        cppConfigFile.setUserID(userId)
        cppConfigFile.setUserType(type)
        cppConfigFile.setUserNmae(name)
        sgH5version(Req.text(args.H5version) || "")
        cppLog.otherInfo("Hi! welcome " + roleWord(LMRUserInfo.userRole()))
        var boost = service("cppMicBoost")
        if (boost)
            boost.setMicBoost()
        var recorder = service("recordDispatcher")
        if (recorder && typeof recorder.autoUpload === "function")
            recorder.autoUpload()
        answer(obj, "")
    }

    function joinClassRoom(obj, msgStr) {
        var devices = service("BCDevice")
        if (devices)
            devices.updateDevice()
        var missing = cppConfigFile.existNecessaryDevice()
        if (missing !== "")
            showDeciceWarning(missing)
        cppNotify.triggerSgNotifyH5(cppNotify.callH5_quitClassRoom())
        LMRUserInfo.resetClassUserInfo()
        LMRUserInfo.setClassRoomInfo(msgStr)
        LMRUserInfo.setIsAttendClass(true)
        cppCef.sendToWeb(cppNotify.callH5_jsSetting("writingPad", cppConfigFile.getPenFlag()))
        sgJoinClassRoom(Req.show(obj.id), obj.request, msgStr)
        answer(obj, "")
    }

    function quitClassRoom(obj) {
        var recorder = service("recordDispatcher")
        if (recorder)
            recorder.stopRecord()
        var lock = service("cppLockScreen")
        if (lock && lock.getIsLockScreen())
            lock.stopLock()
        cppNotify.jsonUploadLogZip()
        LMRUserInfo.setIsAttendClass(false)
        sgQuitClassRoom()
        answer(obj, "")
    }

    function handleDirect(obj) {
        var request = obj.request
        var args = requestArgs(obj)
        var is = function (name) { return Req.isRequest(request, name) }
        if (is("agora://VoiceAgoraState")) {
            answer(obj, LMRUserInfo.getIsEnterAgora())
        } else if (is("trtc://VoiceTrtcState")) {
            answer(obj, LMRUserInfo.getIsEnterTRtc())
        } else if (is("VoiceQcloudState") || is("qcloud://VoiceQcloudState")) {
            var ilive = service("iliveEngine")
            var flag = function (name) { return ilive ? ilive[name] : false }
            answer(obj, {
                "m_isExitDemo": flag("m_isExitDemo"), "m_isLogin": flag("m_isLogin"),
                "m_isEnterRoom": LMRUserInfo.getIsEnterILive(),
                "m_isEnableCamera": flag("m_isEnableCamera"), "m_isEnableMic": flag("m_isEnableMic"),
                "m_isEnablePlayer": flag("m_isEnablePlayer"), "m_isStartDeviceTest": flag("m_isStartDeviceTest"),
                "m_isDeviceTestEnableCamera": flag("m_isDeviceTestEnableCamera"),
                "m_isDeviceTestEnableMic": flag("m_isDeviceTestEnableMic"),
                "m_isDeviceTestEnablePlayer": flag("m_isDeviceTestEnablePlayer")
            })
        } else if (is("qcloud://VoiceInit") || is("qcloud://VoiceLogout")) {
            m_media.qcloudAccount(obj, args)
        } else if (is("agora://VoiceDeviceControl") || is("qcloud://VoiceDeviceControl")
                   || is("trtc://VoiceDeviceControl") || is("zego://VoiceDeviceControl")) {
            m_media.deviceControl(obj, args)
        } else if (is("deviceInfo://")) {
            // Answered on every platform: the figures come from the platform layer.
            answer(obj, { "totalMemory": cppNotify.getTotalMemory(), "availableMemory": cppNotify.getAvaliMemory() })
        } else if (is("upload_log://")) {
            // The log archive on demand, as leaving a class sends it.
            cppNotify.jsonUploadLogZip()
            answer(obj, "")
        } else if (is("reupload_audio_list://")) {
            var list = Req.text(args.lesson_token_list)
            m_recordRequests.reupload(obj, (list !== null ? list : Req.text(args.lesson_token) || "").split(","))
        } else if (is("reupload_audio://")) {
            m_recordRequests.reupload(obj, [args.lesson_token])
        } else if (is("record://")) {
            m_recordRequests.record(obj, args)
        } else if (is("lock_win_top://")) {
            var lock = service("cppLockScreen")
            if (lock)
                lock.startLock()
            else
                refuse(obj, failureUnavailable, "lock screen not available")
        } else if (is("local://ReloadUrl")) {
            cppCef.load(cppConfigFile.getMainUrl())
        } else if (is("local://Finished")) {
            // the local error page is up; nothing to answer
        } else if (is("close_window")) {
            cppLog.uiClick("H5 lmr app quit")
            cppWindow.close()
        } else if (is("openNewWindow://")) {
            var zoom = cppTool.getZoomFactor()
            var size = function (v) { var n = Number(v); return isFinite(n) ? Math.round(Math.min(Math.max(n, 0), 20000) * zoom) : 0 }
            cppCef.openNewWindow("cef2", Req.text(args.title) || "", Req.text(args.url) || "", size(args.width), size(args.height))
        } else if (is("getOngoingCourse://")) {
            isgetOngoingCourse = true
            isgetOngoingCourseInit = true
            sgMessageBoxView("openClassList", qsTr("The system has detected that you still have courses in progress\n we suggest that you finish the current course first!"), 1, "", qsTr("GoTo"))
        } else if (is("jsVersion://")) {
            answer(obj, cppConfigFile.getVersion())
        } else if (is("jsInvokeStartUpdater://")) {
            cppNotify.jsonAppCheck()
        } else if (is("install_update://")) {
            var updater = service("cppAppUpdate")
            if (updater)
                updater.installUpdate()
        } else if (is("simroom://config")) {
            m_simRoomRequests.configure(obj)
        } else if (is("simroom://peer")) {
            m_simRoomRequests.peerAction(obj)
        } else if (is("mqtt://forward")) {
            cppLog.netInfo("recv MQTT:", Req.show(args.msg))
        } else {
            cppLog.netWarn("unknow request:", request)
        }
    }


    function agora_voiceRoomLogin(id, request, msg) { m_media.agoraLogin(id, request, msg) }
    function trtc_voiceRoomLogin(id, request, msg) { m_media.trtcLogin(id, request, msg) }
    function zego_voiceRoomLogin(id, request, msg) { m_media.zegoLogin(id, request, msg) }
    function qcloud_voiceRoomLogin(id, request, msg) { m_media.qcloudLogin(id, request, msg) }
    // Called by the window when an engine reports joined().
    function answerLogin(vendor) { m_media.answerLogin(vendor) }
    property alias media: m_media
    function closeChannel(id, request) { m_media.closeChannel(id, request) }

    function exitChnnals() {
        closeChannel(undefined, undefined)
    }

    function showDeciceWarning(msg) {
        var noMic = msg.indexOf("NoMic") >= 0
        var noSpeaker = msg.indexOf("NoSpeaker") >= 0
        var text = ""
        if (noMic && noSpeaker)
            text = qsTr("No microphone and  was speaker detected, please check whether the device is properly plugged in,  and then click the pinion in the upper right corner to test the device!")
        else if (noMic)
            text = qsTr("No microphone was detected, please check whether the device is properly plugged in,  and then click the pinion in the upper right corner to test the device!")
        else if (noSpeaker)
            text = qsTr("No speaker was detected, please check whether the device is properly plugged in,  and then click the pinion in the upper right corner to test the device!")
        if (text !== "")
            sgAlertBoxView("deviceWarning", text, 1, "", qsTr("OK"))
    }

    function onSgNotifyQML(jsonmsg) {
        cppLog.netInfo("call QML:" + jsonmsg)
        var obj
        try {
            obj = JSON.parse(jsonmsg)
        } catch (e) {
            cppLog.netError("parse json error")
            return
        }
        if (obj !== null && typeof obj === "object" && obj.func === "MessageBox")
            sgMessageBoxView("MessageBox", String(obj.param), 1, "", qsTr("OK"))
    }

    function onSgNotifyH5(jsonmsg) {
        cppLog.netInfo("call H5:" + jsonmsg)
        var obj
        try {
            obj = JSON.parse(jsonmsg)
        } catch (e) {
            cppLog.netError("parse json error")
            return
        }
        if (obj === null || typeof obj !== "object" || typeof obj.func !== "string" || !/^[A-Za-z_$][\w$]*$/.test(obj.func)) {
            cppLog.netError("parse json error")
            return
        }
        var params = Array.isArray(obj.param) ? obj.param : []
        var text = params.map(function (p) { return JSON.stringify(String(p)) }).join(",")
        cppCef.sendToWeb(obj.func + "(" + text + ")")
    }

    function setTimeout(cb, delayTime) {
        id_DelayTimer.interval = delayTime
        var fire = function () {
            id_DelayTimer.triggered.disconnect(fire)
            cb()
        }
        id_DelayTimer.triggered.connect(fire)
        id_DelayTimer.start()
    }

    function toNum(_a) {
        // Every part padded to four digits: "5.0.12" -> "000500000012".
        return String(_a).split(".").map(function (part) {
            return ("0000" + part).slice(-4)
        }).join("")
    }

    function release() {
        id_DelayTimer.stop()
    }
}

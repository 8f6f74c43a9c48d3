import QtQuick 2.12
import BCDevice 1.0
import LMRMsgId 1.0
import LMRUserInfo 1.0

// Page request dispatcher: every page message enters at callQML(), is matched
// by its request name and answered through callback().
Item {
    id: m_webView

    property var jsobject: ({})
    property var m_object: ({})
    property bool isgetOngoingCourse: false
    property bool isgetOngoingCourseInit: false
    property int mainUrlSwitchCount: 0
    // Room logins waiting for their engine's joined(), by vendor scheme.
    property var pendingLogins: ({})

    // Failure codes of the replies.
    readonly property int failureUnavailable: 1
    readonly property int failureBadRequest: 2
    readonly property int failureRefused: 3

    signal sgOpenDeviceTestView()
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

    // Arguments of a request: its own fields, a JSON object after ":{" in the
    // name, or "a=b&c=d" after "//".
    function requestArgs(obj) {
        var args = {}
        var name = String(obj.request)
        var json = name.indexOf(":{")
        if (json >= 0) {
            try {
                var inner = JSON.parse(name.substring(json + 1))
                for (var k in inner)
                    args[k] = inner[k]
            } catch (e) {
                cppLog.netError("parse json error " + name)
            }
        } else {
            var rest = name.indexOf("//")
            var tail = rest >= 0 ? name.substring(rest + 2) : ""
            var query = tail.indexOf("?") >= 0 ? tail.substring(tail.indexOf("?") + 1) : tail
            query.split("&").forEach(function (pair) {
                var eq = pair.indexOf("=")
                if (eq > 0)
                    args[decodeURIComponent(pair.substring(0, eq))] = decodeURIComponent(pair.substring(eq + 1))
            })
        }
        for (var key in obj)
            args[key] = obj[key]
        return args
    }

    function registryKeyOf(request) {
        for (var i = 0; i < registryKeys.length; ++i) {
            if (request.indexOf(registryKeys[i]) === 0)
                return registryKeys[i]
        }
        return ""
    }

    function callQML(msgStr) {
        cppLog.netInfo("recv H5:" + msgStr)
        var obj
        try {
            obj = JSON.parse(msgStr)
        } catch (e) {
            cppLog.netError("parse json error")
            return
        }
        if (obj === null || typeof obj !== "object" || typeof obj.request !== "string") {
            cppLog.netError("parse json error")
            return
        }
        jsobject = obj
        m_object = obj
        var key = registryKeyOf(obj.request)
        if (key !== "") {
            LMRMsgId.addMessage(key, String(obj.id), obj.request, msgStr)
            return
        }
        handleDirect(obj)
    }

    function onRegistryMessage(key, id, request, msg) {
        var obj
        try {
            obj = JSON.parse(msg)
        } catch (e) {
            cppLog.netError("parse json error")
            LMRMsgId.completedMessage(key)
            return
        }
        handleQueued(key, obj, msg)
        LMRMsgId.completedMessage(key)
    }

    function handleQueued(key, obj, msgStr) {
        var args = requestArgs(obj)
        if (key === LMRMsgId.id_user_info()) {
            signIn(obj, args)
        } else if (key === LMRMsgId.id_open_device()) {
            cppConfigFile.setHomeFlag(args.homeFlag === true || args.homeFlag === "true" || args.flag === true)
            sgOpenDeviceTestView()
            answer(obj, "")
        } else if (key === LMRMsgId.id_system_info()) {
            answer(obj, cppNotify.jsonSystemInfo())
        } else if (key === LMRMsgId.id_js_log_write()) {
            var line = args.log !== undefined ? args.log : (args.msg !== undefined ? args.msg : msgStr)
            cppLog.netInfo("H5 log:" + (typeof line === "string" ? line : JSON.stringify(line)))
        } else if (key === LMRMsgId.id_join_classroom()) {
            joinClassRoom(obj, msgStr)
        } else if (key === LMRMsgId.id_quit_classroom()) {
            quitClassRoom(obj)
        } else if (key === LMRMsgId.id_user_viewer()) {
            var state = args.online_state
            sgUpdateOnlineState(typeof state === "string" ? state : JSON.stringify(state === undefined ? [] : state))
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
        LMRUserInfo.setUserInfo(String(args.userType), String(args.userID), String(args.userName),
                                String(args.token))
        cppConfigFile.setUserID(String(args.userID))
        cppConfigFile.setUserType(String(args.userType))
        cppConfigFile.setUserNmae(String(args.userName))
        sgH5version(args.H5version !== undefined ? String(args.H5version) : "")
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
        sgJoinClassRoom(String(obj.id), obj.request, msgStr)
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
        if (request.includes("agora://VoiceAgoraState")) {
            answer(obj, LMRUserInfo.getIsEnterAgora())
        } else if (request.includes("trtc://VoiceTrtcState")) {
            answer(obj, LMRUserInfo.getIsEnterTRtc())
        } else if (request.includes("VoiceQcloudState")) {
            var ilive = service("iliveEngine")
            answer(obj, {
                "m_isExitDemo": ilive ? ilive.m_isExitDemo : false,
                "m_isLogin": ilive ? ilive.m_isLogin : false,
                "m_isEnterRoom": LMRUserInfo.getIsEnterILive(),
                "m_isEnableCamera": ilive ? ilive.m_isEnableCamera : false,
                "m_isEnableMic": ilive ? ilive.m_isEnableMic : false,
                "m_isEnablePlayer": ilive ? ilive.m_isEnablePlayer : false,
                "m_isStartDeviceTest": ilive ? ilive.m_isStartDeviceTest : false,
                "m_isDeviceTestEnableCamera": ilive ? ilive.m_isDeviceTestEnableCamera : false,
                "m_isDeviceTestEnableMic": ilive ? ilive.m_isDeviceTestEnableMic : false,
                "m_isDeviceTestEnablePlayer": ilive ? ilive.m_isDeviceTestEnablePlayer : false
            })
        } else if (request.includes("qcloud://VoiceInit")) {
            var account = String(args.account !== undefined ? args.account : "").split(":")
            LMRUserInfo.setILiveUserAndPass(account[0] || "", account[1] || "")
            var engine = service("iliveEngine")
            if (!engine) {
                refuse(obj, failureUnavailable, "iLive engine not available")
                return
            }
            engine.init()
            engine.login(LMRUserInfo.getILiveUserSelf(), LMRUserInfo.getILiveUserPass())
        } else if (request.includes("qcloud://VoiceLogout")) {
            if (service("iliveEngine"))
                service("iliveEngine").logout()
        } else if (request.includes("VoiceDeviceControl")) {
            deviceControl(obj, args)
        } else if (request.includes("deviceInfo://")) {
            // Answered on every platform: the figures come from the platform layer.
            answer(obj, { "totalMemory": cppNotify.getTotalMemory(), "availableMemory": cppNotify.getAvaliMemory() })
        } else if (request.includes("reupload_audio_list://")) {
            var listRecorder = service("recordDispatcher")
            if (!listRecorder || typeof listRecorder.handUpload !== "function") {
                refuse(obj, failureUnavailable, "recording not available")
                return
            }
            String(args.lesson_token_list !== undefined ? args.lesson_token_list : args.lesson_token || "")
                .split(",").forEach(function (token) {
                    if (token !== "")
                        listRecorder.handUpload(token, true)
                })
        } else if (request.includes("reupload_audio://")) {
            var oneRecorder = service("recordDispatcher")
            if (!oneRecorder || typeof oneRecorder.handUpload !== "function") {
                refuse(obj, failureUnavailable, "recording not available")
                return
            }
            oneRecorder.handUpload(String(args.lesson_token), true)
        } else if (request.includes("record://")) {
            record(obj, args)
        } else if (request.includes("lock_win_top://")) {
            var lock = service("cppLockScreen")
            if (lock)
                lock.startLock()
            else
                refuse(obj, failureUnavailable, "lock screen not available")
        } else if (request.includes("local://ReloadUrl")) {
            cppCef.load(cppConfigFile.getMainUrl())
        } else if (request.includes("local://Finished")) {
            // the local error page is up; nothing to answer
        } else if (request.includes("close_window")) {
            cppLog.uiClick("H5 lmr app quit")
            cppWindow.close()
        } else if (request.includes("openNewWindow://")) {
            var zoom = cppTool.getZoomFactor()
            cppCef.openNewWindow("cef2", String(args.title || ""), String(args.url || ""),
                                 Math.round(Number(args.width || 0) * zoom), Math.round(Number(args.height || 0) * zoom))
        } else if (request.includes("getOngoingCourse://")) {
            isgetOngoingCourse = true
            isgetOngoingCourseInit = true
            sgMessageBoxView("openClassList", qsTr("The system has detected that you still have courses in progress\n we suggest that you finish the current course first!"), 1, "", qsTr("GoTo"))
        } else if (request.includes("jsVersion://")) {
            answer(obj, cppConfigFile.getVersion())
        } else if (request.includes("jsInvokeStartUpdater://")) {
            cppNotify.jsonAppCheck()
        } else if (request.includes("install_update://")) {
            var updater = service("cppAppUpdate")
            if (updater)
                updater.installUpdate()
        } else if (request.includes("simroom://config")) {
            // Development builds only: the simulated room behind the SDK stand-ins.
            var room = service("cppSimRoom")
            if (!room) {
                refuse(obj, failureUnavailable, "no simulated room in this build")
                return
            }
            var settings = {}
            for (var k in obj)
                if (k !== "id" && k !== "request")
                    settings[k] = obj[k]
            if (room.configure(JSON.stringify(settings)))
                answer(obj, JSON.parse(room.configuration()))
            else
                refuse(obj, failureBadRequest, "bad simulated room settings")
        } else if (request.includes("mqtt://forward")) {
            cppLog.netInfo("recv MQTT:" + JSON.stringify(args.msg))
        } else {
            cppLog.netWarn("unknow request:" + request)
        }
    }

    function record(obj, args) {
        var recorder = service("recordDispatcher")
        if (!recorder) {
            refuse(obj, failureUnavailable, "recording not available")
            return
        }
        if (args.oper === "start") {
            LMRUserInfo.setCourseToken(String(args.token))
            recorder.startRecord(String(args.token), String(args.userId), String(args.cls_user_type))
            answer(obj, "")
        } else if (args.oper === "stop") {
            recorder.stopRecord()
            if (typeof recorder.handUpload === "function")
                recorder.handUpload(String(args.token || LMRUserInfo.getCourseToken()), true)
            answer(obj, "")
        } else {
            refuse(obj, failureBadRequest, "unknown record oper")
        }
    }

    function currentEngine(scheme) {
        var type = LMRUserInfo.getUseMediaType()
        if (scheme === "agora" && type === LMRUserInfo.MediaType_Agora) return service("agoraEngine")
        if (scheme === "trtc" && type === LMRUserInfo.MediaType_TRtc) return service("trtcEngine")
        if (scheme === "zego" && type === LMRUserInfo.MediaType_ZgRtc) return service("zgRtcEngine")
        if (scheme === "qcloud" && type === LMRUserInfo.MediaType_ILive) return service("iliveEngine")
        return null
    }

    function deviceControl(obj, args) {
        var scheme = obj.request.substring(0, obj.request.indexOf("://"))
        var engine = currentEngine(scheme)
        if (!engine) {
            cppLog.avError(scheme === "agora" || scheme === "trtc" ? "unknow media channel1" : "unknow media channel2")
            refuse(obj, failureUnavailable, "media channel not in use")
            return
        }
        var open = args.open === true || args.open === "true" || args.open === "1"
        var ilive = scheme === "qcloud"
        if (args.device === "player") {
            if (open) {
                if (ilive) engine.setSpeaker(cppConfigFile.getSpeakerId())
                else { engine.muteAllRemoteAudioStreams(false); engine.setPlayerDrive(cppConfigFile.getSpeakerId()) }
            } else {
                if (ilive) engine.closePlayer()
                else engine.muteAllRemoteAudioStreams(true)
            }
        } else if (args.device === "mic") {
            if (open) {
                if (ilive) engine.setMic(cppConfigFile.getMicId())
                else { engine.setMicDrive(cppConfigFile.getMicId()); engine.enableLocalAudio(true) }
            } else {
                if (ilive) engine.closeMic()
                else engine.enableLocalAudio(false)
            }
        } else if (args.device === "camera") {
            if (open) {
                var role = LMRUserInfo.getInnerClassUserRole()
                if (LMRUserInfo.getClassType() === LMRUserInfo.ClassType_TrainingClass
                        && role !== LMRUserInfo.UserRole_Student && role !== LMRUserInfo.UserRole_Assistant) {
                    refuse(obj, failureRefused, "camera not allowed in a training class")
                    return
                }
                if (ilive) engine.setCamera(cppConfigFile.getCameraId())
                else engine.enableLocalVideo(true)
            } else {
                if (ilive) engine.closeCamera()
                else engine.enableLocalVideo(false)
            }
        } else {
            cppLog.avError("VoiceDevice Control Unknow protocol!")
            refuse(obj, failureBadRequest, "unknown device")
            return
        }
        answer(obj, "")
    }

    function roomLoginPrologue() {
        if (cppConfigFile.getCameraId() === "")
            cppLog.avInfo("camera not exist!")
    }

    function agora_voiceRoomLogin(id, request, msg) {
        roomLoginPrologue()
        LMRUserInfo.setAgoraInfo(String(msg.sig), String(msg.courseId), String(msg.uid))
        var engine = service("agoraEngine")
        if (!engine) {
            callback(createFailureMsg(id, request, failureUnavailable, "agora engine not available"))
            return
        }
        if (!engine.isInit())
            engine.init()
        pendingLogins["agora"] = { "id": id, "request": request }
        engine.enterRoom(LMRUserInfo.getAgoraUid(), LMRUserInfo.getAgoraKey(), LMRUserInfo.getAgoraChannelName())
    }

    // Called by the window when an engine reports joined().
    function answerLogin(vendor) {
        var pending = pendingLogins[vendor]
        if (!pending)
            return
        delete pendingLogins[vendor]
        callback(createSuccessMsg(pending.id, pending.request, ""))
    }

    function trtc_voiceRoomLogin(id, request, msg) {
        roomLoginPrologue()
        LMRUserInfo.setTRtcInfo(String(msg.sig), parseInt(msg.courseId) || 0, String(msg.uid))
        var engine = service("trtcEngine")
        if (!engine) {
            callback(createFailureMsg(id, request, failureUnavailable, "trtc engine not available"))
            return
        }
        engine.enterRoom(LMRUserInfo.getTRtcUid(), LMRUserInfo.getTRtcSig(), LMRUserInfo.getTRtcRoomid())
    }

    function zego_voiceRoomLogin(id, request, msg) {
        roomLoginPrologue()
        LMRUserInfo.setZgRtcRoomId(String(msg.roomid))
        LMRUserInfo.setZgRtcUsernameAndUserId(String(msg.usrName), String(msg.userId))
        var engine = service("zgRtcEngine")
        if (!engine) {
            callback(createFailureMsg(id, request, failureUnavailable, "zego engine not available"))
            return
        }
        engine.loginRoom(LMRUserInfo.getZgRtcRoomId(), LMRUserInfo.getZgRtcUserID(), LMRUserInfo.getZgRtcUserName())
    }

    function qcloud_voiceRoomLogin(id, request, msg) {
        roomLoginPrologue()
        LMRUserInfo.setILiveRoomId(parseInt(msg.roomid) || 0)
        var engine = service("iliveEngine")
        if (!engine) {
            callback(createFailureMsg(id, request, failureUnavailable, "ilive engine not available"))
            return
        }
        engine.createRoomAndJoin()
    }

    function closeChannel(id, request) {
        var type = LMRUserInfo.getUseMediaType()
        var engine = null
        var key = ""
        var leave = ""
        if (type === LMRUserInfo.MediaType_Agora) {
            key = LMRMsgId.id_agora_voiceRoomLogout(); engine = service("agoraEngine"); leave = "exitRoom"
        } else if (type === LMRUserInfo.MediaType_ILive) {
            key = LMRMsgId.id_qcloud_voiceRoomLogout(); engine = service("iliveEngine"); leave = "quitRoom"
        } else if (type === LMRUserInfo.MediaType_TRtc) {
            key = LMRMsgId.id_trtc_voiceRoomLogout(); engine = service("trtcEngine"); leave = "exitRoom"
        } else if (type === LMRUserInfo.MediaType_ZgRtc) {
            key = LMRMsgId.id_zego_voiceRoomLogout(); engine = service("zgRtcEngine"); leave = "logoutRoom"
        }
        if (engine) {
            // answered when the engine reports leavingChannel
            if (id !== undefined)
                LMRMsgId.addCallBackMessage(key, String(id), String(request), "")
            engine[leave]()
        } else {
            cppLog.otherError("media role error")
            if (id !== undefined)
                callback(createSuccessMsg(id, request, ""))
        }
        LMRUserInfo.setUseMediaType(LMRUserInfo.MediaType_Unknow)
        var recorder = service("recordDispatcher")
        if (recorder)
            recorder.switchChannel()
    }

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
        if (obj.func === "MessageBox")
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
        if (typeof obj.func !== "string" || !/^[A-Za-z_$][\w$]*$/.test(obj.func)) {
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

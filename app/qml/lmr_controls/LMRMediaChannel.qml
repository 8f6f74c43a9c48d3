import QtQuick 2.12
import LMRMsgId 1.0
import LMRUserInfo 1.0
import "LMRRequest.js" as Req

// The media-channel requests of the page dispatcher: room login and leave and
// device switches, for the engine of each vendor. Replies go through the
// dispatcher (`dispatcher.callback`, `answer`, `refuse`).
QtObject {
    id: m_media

    property Item dispatcher
    // Room logins waiting for their engine's joined(), by vendor scheme.
    property var pendingLogins: ({})

    function service(name) { return dispatcher.service(name) }

    function currentEngine(scheme) {
        var type = LMRUserInfo.getUseMediaType()
        if (scheme === "agora" && type === LMRUserInfo.MediaType_Agora) return service("agoraEngine")
        if (scheme === "trtc" && type === LMRUserInfo.MediaType_TRtc) return service("trtcEngine")
        if (scheme === "zego" && type === LMRUserInfo.MediaType_ZgRtc) return service("zgRtcEngine")
        if (scheme === "qcloud" && type === LMRUserInfo.MediaType_ILive) return service("iliveEngine")
        return null
    }

    function deviceControl(obj, args) {
        var scheme = Req.schemeOf(obj.request)
        var engine = currentEngine(scheme)
        if (!engine) {
            cppLog.avError(scheme === "agora" || scheme === "trtc" ? "unknow media channel1" : "unknow media channel2")
            dispatcher.refuse(obj, dispatcher.failureUnavailable, "media channel not in use")
            return
        }
        var open = Req.isTrue(args.open)
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
                    dispatcher.refuse(obj, dispatcher.failureRefused, "camera not allowed in a training class")
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
            dispatcher.refuse(obj, dispatcher.failureBadRequest, "unknown device")
            return
        }
        dispatcher.answer(obj, "")
    }

    function roomLoginPrologue() {
        if (cppConfigFile.getCameraId() === "")
            cppLog.avInfo("camera not exist!")
    }

    function refuseLogin(id, request, code, text) {
        dispatcher.callback(dispatcher.createFailureMsg(id, request, code, text))
    }

    // The room and the user are needed to enter; a missing key stays empty
    // (the test room of the stand-in takes none).
    function agoraLogin(id, request, msg) {
        roomLoginPrologue()
        var room = Req.required(msg.courseId)
        var uid = Req.required(msg.uid)
        if (room === null || uid === null) {
            refuseLogin(id, request, dispatcher.failureBadRequest, "missing courseId or uid")
            return
        }
        LMRUserInfo.setAgoraInfo(Req.text(msg.sig) || "", room, uid)
        var engine = service("agoraEngine")
        if (!engine) {
            refuseLogin(id, request, dispatcher.failureUnavailable, "agora engine not available")
            return
        }
        if (!engine.isInit())
            engine.init()
        pendingLogins["agora"] = { "id": id, "request": request }
        engine.enterRoom(LMRUserInfo.getAgoraUid(), LMRUserInfo.getAgoraKey(), LMRUserInfo.getAgoraChannelName())
    }

    function answerLogin(vendor) {
        var pending = pendingLogins[vendor]
        if (!pending)
            return
        delete pendingLogins[vendor]
        dispatcher.callback(dispatcher.createSuccessMsg(pending.id, pending.request, ""))
    }

    function trtcLogin(id, request, msg) {
        roomLoginPrologue()
        var room = parseInt(Req.text(msg.courseId))
        var uid = Req.required(msg.uid)
        if (!(room > 0) || uid === null) {
            refuseLogin(id, request, dispatcher.failureBadRequest, "missing courseId or uid")
            return
        }
        LMRUserInfo.setTRtcInfo(Req.text(msg.sig) || "", room, uid)
        var engine = service("trtcEngine")
        if (!engine) {
            refuseLogin(id, request, dispatcher.failureUnavailable, "trtc engine not available")
            return
        }
        if (!engine.isInit())
            engine.init()
        pendingLogins["trtc"] = { "id": id, "request": request }
        engine.enterRoom(LMRUserInfo.getTRtcUid(), LMRUserInfo.getTRtcSig(), LMRUserInfo.getTRtcRoomid())
    }

    function zegoLogin(id, request, msg) {
        roomLoginPrologue()
        var room = Req.required(msg.roomid)
        var userId = Req.required(msg.userId)
        if (room === null || userId === null) {
            refuseLogin(id, request, dispatcher.failureBadRequest, "missing roomid or userId")
            return
        }
        LMRUserInfo.setZgRtcRoomId(room)
        LMRUserInfo.setZgRtcUsernameAndUserId(Req.text(msg.usrName) || "", userId)
        var engine = service("zgRtcEngine")
        if (engine && !engine.isInit())
            engine.init()
        if (!engine || !engine.isInit()) {
            refuseLogin(id, request, dispatcher.failureUnavailable, "zego engine not available")
            return
        }
        // joined() comes from inside loginRoom(): the login must wait for it first.
        pendingLogins["zego"] = { "id": id, "request": request }
        engine.loginRoom(LMRUserInfo.getZgRtcRoomId(), LMRUserInfo.getZgRtcUserID(), LMRUserInfo.getZgRtcUserName())
    }

    function qcloudLogin(id, request, msg) {
        roomLoginPrologue()
        var room = parseInt(Req.text(msg.roomid))
        if (!(room > 0)) {
            refuseLogin(id, request, dispatcher.failureBadRequest, "missing roomid")
            return
        }
        LMRUserInfo.setILiveRoomId(room)
        var engine = service("iliveEngine")
        if (!engine) {
            refuseLogin(id, request, dispatcher.failureUnavailable, "ilive engine not available")
            return
        }
        // Answered by joined(), or by a failure once creating and joining both failed.
        pendingLogins["qcloud"] = { "id": id, "request": request }
        if (!engine.createRoomAndJoin()) {
            delete pendingLogins["qcloud"]
            refuseLogin(id, request, dispatcher.failureUnavailable, "ilive is not login")
        }
    }

    function refusePendingLogin(vendor, code, text) {
        var pending = pendingLogins[vendor]
        if (!pending)
            return
        delete pendingLogins[vendor]
        refuseLogin(pending.id, pending.request, code, text)
    }

    // The iLive account: "qcloud://VoiceInit" signs in with "user:pass" and is
    // answered once the sign-in is through; "qcloud://VoiceLogout" signs out.
    property var pendingInit: null
    function qcloudAccount(obj, args) {
        var engine = service("iliveEngine")
        if (!engine) {
            dispatcher.refuse(obj, dispatcher.failureUnavailable, "iLive engine not available")
            return
        }
        if (Req.isRequest(obj.request, "qcloud://VoiceLogout")) {
            engine.logout()
            dispatcher.answer(obj, "")
            return
        }
        var account = (Req.text(args.account) || "").split(":")
        LMRUserInfo.setILiveUserAndPass(account[0] || "", account.slice(1).join(":"))
        engine.init()
        if (!engine.isInit()) {
            dispatcher.refuse(obj, dispatcher.failureUnavailable, "ilive is not init!")
        } else if (engine.m_isLogin) {
            dispatcher.answer(obj, "")
        } else {
            if (pendingInit)
                dispatcher.refuse(pendingInit, dispatcher.failureRefused, "superseded by a later sign-in")
            pendingInit = obj
            engine.login(LMRUserInfo.getILiveUserSelf(), LMRUserInfo.getILiveUserPass())
        }
    }
    function qcloudLoginFinished(ok, code, message) {
        var obj = pendingInit
        pendingInit = null
        if (obj && ok)
            dispatcher.answer(obj, "")
        else if (obj)
            dispatcher.refuse(obj, code, message)
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
                LMRMsgId.addCallBackMessage(key, Req.show(id), Req.show(request), "")
            engine[leave]()
        } else {
            cppLog.otherError("media role error")
            if (id !== undefined)
                dispatcher.callback(dispatcher.createSuccessMsg(id, request, ""))
        }
        LMRUserInfo.setUseMediaType(LMRUserInfo.MediaType_Unknow)
        var recorder = service("recordDispatcher")
        if (recorder)
            recorder.switchChannel()
    }
}

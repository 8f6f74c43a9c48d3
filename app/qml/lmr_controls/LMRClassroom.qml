import QtQuick 2.12
import LMRMsgId 1.0
import LMRUserInfo 1.0

// The class in the window: its members as tiles, the engine in use, and what
// the engines report about them. The window gives it the video window's
// loader, the page dispatcher (for the engines) and the courseware player.
Item {
    id: classroom

    property Loader videoLoader
    property var webview
    property var audioPlayer
    property int lastmileDelay: 0
    property int networkTransportDelay: 0
    property int userNum: 0
    property alias tiles: tileModel

    ListModel { id: tileModel }

    function memberRecord(member) {
        var role = member.role === "teacher" ? "teacher" : (member.role === "student" ? "student"
                                                              : (member.role === "jiaowu" || member.role === "assistant" ? "jiaowu" : ""))
        if (role === "") {
            cppLog.otherError("unknow class role")
            return null
        }
        return { "uid": String(member.uid || ""), "agoraId": String(member.agora_id || member.uid || ""),
                 "iliveId": String(member.qlive_id || ""), "trtcId": String(member.trtc_id || ""),
                 "zgrtcId": String(member.zego_id || ""), "name": String(member.name || ""), "role": role,
                 "isOnline": String(member.uid) === cppConfigFile.getUserID(), "isShowBackground": true }
    }

    function parseList(text) {
        try {
            var v = JSON.parse(text)
            return Array.isArray(v) ? v : (v ? [v] : [])
        } catch (e) {
            cppLog.otherError("parse class member json error")
            return []
        }
    }

    function setMedia() {
        clearModel()
        var type = LMRUserInfo.getClassType()
        var members = []
        if (type === LMRUserInfo.ClassType_1V1) {
            videoLoader.source = "qrc:/lmr_controls/LMR1V1.qml"
            members = parseList(LMRUserInfo.get1V1TeacherInfo()).concat(parseList(LMRUserInfo.get1V1StudentInfo()))
        } else {
            videoLoader.source = type === LMRUserInfo.ClassType_MiniClass ? "qrc:/lmr_controls/LMR1VMini.qml"
                                                                              : "qrc:/lmr_controls/LMR1VN.qml"
            members = parseList(LMRUserInfo.get1VNTeacherInfo()).concat(parseList(LMRUserInfo.get1VNStudentInfo()))
        }
        var persons = 0
        for (var i = 0; i < members.length; ++i) {
            if (!members[i] || members[i].role === undefined)
                continue
            var record = memberRecord(members[i])
            if (record) {
                tileModel.append(record)
                ++persons
            }
        }
        userNum = persons
        passUserNum()
    }

    // The loader may finish after setMedia (or be reloaded): it is given the
    // count again when it loads.
    function passUserNum() {
        if (videoLoader.item && typeof videoLoader.item.setUserNum === "function")
            videoLoader.item.setUserNum(userNum)
    }

    function clearModel() {
        var engine = currentEngine(false)
        if (engine && LMRUserInfo.getUseMediaType() === LMRUserInfo.MediaType_TRtc)
            cppLog.avInfo("clear trtc view")
        else if (engine && LMRUserInfo.getUseMediaType() === LMRUserInfo.MediaType_ZgRtc)
            cppLog.avInfo("clear zegortc view")
        tileModel.clear()
        userNum = 0
    }

    function tileFor(id) {
        var videoWindow = videoLoader.item
        return videoWindow ? videoWindow.tileFor(String(id)) : null
    }

    function vendorId(tile, type) {
        switch (type) {
        case LMRUserInfo.MediaType_ILive: return tile.iliveId
        case LMRUserInfo.MediaType_TRtc: return tile.trtcId
        case LMRUserInfo.MediaType_ZgRtc: return tile.zgrtcId
        }
        return tile.agoraId
    }

    // Hands every tile to the engine: ours as the local view, the others by vendor id.
    function attachVideo(engine) {
        var videoWindow = videoLoader.item
        if (!videoWindow || !engine)
            return
        var type = LMRUserInfo.getUseMediaType()
        var ilive = type === LMRUserInfo.MediaType_ILive
        for (var i = 0; i < videoWindow.count; ++i) {
            var tile = videoWindow.tileAt(i)
            if (!tile)
                continue
            if (tile.uid === cppConfigFile.getUserID()) {
                if (ilive) engine.setLocalVideo(tile.view())
                else engine.setupLocalVideo(tile.view())
                tile.isShowBackground = false
            } else if (ilive) {
                engine.setRemoteVideo(vendorId(tile, type), tile.view())
            } else {
                engine.setupRemoteVideo(vendorId(tile, type), tile.view())
            }
        }
    }

    function showSelfBackground(flag) {
        var tile = tileFor(cppConfigFile.getUserID())
        if (tile)
            tile.updateBackgroundShow(flag)
    }

    // online_state: [{ "uid": "10001", "online": true }, ...]; a few spellings
    // of the fields are accepted since the page's list has changed before.
    function updateOnline(json) {
        var list
        try {
            list = JSON.parse(json)
        } catch (e) {
            cppLog.otherError("parse online_state json error")
            return false
        }
        if (!Array.isArray(list)) {
            cppLog.otherError("parse online_state json error")
            return false
        }
        for (var i = 0; i < list.length; ++i) {
            var entry = list[i]
            if (!entry || typeof entry !== "object")
                continue
            var uid = entry.uid !== undefined ? entry.uid : entry.user_id
            var state = entry.online !== undefined ? entry.online
                        : (entry.isOnline !== undefined ? entry.isOnline : entry.state)
            if (uid === undefined || state === undefined)
                continue
            var online = state === true || state === 1 || state === "1" || state === "online" || state === "true"
            setOnline(uid, online)
        }
        return true
    }

    function setOnline(uid, online) {
        for (var j = 0; j < tileModel.count; ++j)
            if (tileModel.get(j).uid === String(uid))
                tileModel.setProperty(j, "isOnline", online)
    }

    function currentEngine(logUnknown) {
        switch (LMRUserInfo.getUseMediaType()) {
        case LMRUserInfo.MediaType_Agora: return webview.service("agoraEngine")
        case LMRUserInfo.MediaType_TRtc: return webview.service("trtcEngine")
        case LMRUserInfo.MediaType_ZgRtc: return webview.service("zgRtcEngine")
        case LMRUserInfo.MediaType_ILive: return webview.service("iliveEngine")
        }
        if (logUnknown)
            cppLog.avError("play unknow media type")
        return null
    }

    // Opens our camera, microphone and speaker as last chosen and tells the page.
    function openMedia() {
        var engine = currentEngine(false)
        if (!engine)
            return
        var ilive = LMRUserInfo.getUseMediaType() === LMRUserInfo.MediaType_ILive
        var role = LMRUserInfo.getInnerClassUserRole()
        var trainingTeacher = LMRUserInfo.getClassType() === LMRUserInfo.ClassType_TrainingClass
                && role !== LMRUserInfo.UserRole_Student && role !== LMRUserInfo.UserRole_Assistant
        var cameraOn = cppConfigFile.getLastCameraStatus() !== "OFF" && !trainingTeacher
        if (cameraOn) {
            cppLog.avInfo("local setting camera on")
            if (ilive) {
                engine.setCamera(cppConfigFile.getCameraId())
            } else {
                engine.setCameraDrive(cppConfigFile.getCameraId())
                engine.enableLocalVideo(true)
            }
        } else {
            cppLog.avInfo("local setting camera off")
            if (!ilive)
                engine.enableLocalVideo(false)
        }
        var micId = cppConfigFile.getMicId()
        if (micId === "") {
            cppLog.avError("mic id not exist")
        } else if (ilive) {
            engine.setMic(micId)
        } else {
            engine.setMicDrive(micId)
            engine.enableLocalAudio(cppConfigFile.getLastMicStatus() !== "OFF")
        }
        var speakerId = cppConfigFile.getSpeakerId()
        if (speakerId === "")
            cppLog.avError("speaker id not exist")
        else if (ilive)
            engine.setSpeaker(speakerId)
        else
            engine.setPlayerDrive(speakerId)
        if (ilive && role === LMRUserInfo.UserRole_Assistant)
            engine.setAssistantMode()

        cppConfigFile.setLastCameraStatus(cameraOn ? "ON" : "OFF")
        cppNotify.triggerSgNotifyH5(cppNotify.callH5_jsNotifyCameraStatus(cameraOn))
        cppNotify.triggerSgNotifyH5(cppNotify.callH5_jsNotifyMicStatus(cppConfigFile.getLastMicStatus() !== "OFF"))
        cppNotify.triggerSgNotifyH5(cppNotify.callH5_jsNotifySpeakerStatus(cppConfigFile.getLastSpeakerStatus() !== "OFF"))
    }

    function engineJoined(logLine, mediaType) {
        cppLog.avInfo(logLine)
        LMRUserInfo.setUseMediaType(mediaType)
        LMRUserInfo.setIsInClassRoom(true)
        attachVideo(currentEngine(false))
        openMedia()
    }

    // Answers the page's parked logout request once the engine has left.
    function engineLeft(logLine, key) {
        cppLog.avInfo(logLine)
        // Out of the media room the device test may run again.
        LMRUserInfo.setIsInClassRoom(false)
        lastmileDelay = 0
        networkTransportDelay = 0
        if (audioPlayer && audioPlayer.playing)
            audioPlayer.stop()
        if (LMRMsgId.hasCallBackMessage(key)) {
            webview.callback(webview.createSuccessMsg(LMRMsgId.getCallBackMessageID(key),
                                                          LMRMsgId.getCallBackMessageRequest(key), ""))
            LMRMsgId.completedCallBackMessage(key)
        }
    }

    function updateVolume(uid, value) {
        var tile = tileFor(uid)
        if (tile)
            tile.micLevel = value
    }
    function updateVideoAvailable(uid, available) {
        var tile = tileFor(uid)
        if (tile) {
            tile.updateBackgroundShow(!available)
            // Through the model: writing the tile would cut its binding, and
            // the page's later online state would no longer reach the badge.
            if (available)
                setOnline(tile.uid, true)
        }
    }

    // One file per vendor: what its engine reports, turned into the calls above.
    LMRAgoraEvents { classroom: classroom }
    LMRTRtcEvents { classroom: classroom }
    LMRZegoEvents { classroom: classroom }
    LMRILiveEvents { classroom: classroom }
}

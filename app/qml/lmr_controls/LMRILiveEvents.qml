import QtQuick 2.12
import LMRMsgId 1.0
import LMRUserInfo 1.0

// The iLive engine's events in the classroom. iLive names members by their
// `qlive_id`, so tiles are looked up by `iliveId`. A member's camera and
// microphone come as mediaStatus (type 0 camera, 1 audio), a member gone as
// offline; the room's delay is polled.
Item {
    id: events

    property var classroom
    readonly property var engine: classroom && classroom.webview ? classroom.webview.service("iliveEngine") : null

    function tileOf(iliveId) {
        var videoWindow = classroom.videoLoader ? classroom.videoLoader.item : null
        if (!videoWindow || String(iliveId) === "")
            return null
        for (var i = 0; i < videoWindow.count; ++i) {
            var tile = videoWindow.tileAt(i)
            if (tile && tile.iliveId === String(iliveId))
                return tile
        }
        return null
    }

    Connections {
        target: events.engine
        ignoreUnknownSignals: true
        function onJoined() {
            classroom.engineJoined("ILive joined", LMRUserInfo.MediaType_ILive)
            classroom.webview.answerLogin("qcloud")
        }
        function onJoinFailed(code, message) { classroom.webview.media.refusePendingLogin("qcloud", code, message) }
        function onLoginFinished(ok, code, message) { classroom.webview.media.qcloudLoginFinished(ok, code, message) }
        function onLeavingChannel() {
            classroom.engineLeft("qcloud roomlogout callback", LMRMsgId.id_qcloud_voiceRoomLogout())
        }
        function onMediaStatus(id, type, status) {
            cppLog.avInfo("ilive change " + id + (type === 0 ? " camera " : " audio ") + status)
            var tile = events.tileOf(id)
            if (!tile)
                return
            if (type === 0)
                classroom.updateVideoAvailable(tile.uid, status)
            else if (!status)
                tile.micLevel = 0 // a closed microphone reports no level any more
            if (status)
                classroom.setOnline(tile.uid, true)
        }
        function onOffline(id) {
            cppLog.avInfo("ilive change " + id + " offline")
            var tile = events.tileOf(id)
            if (!tile)
                return
            tile.updateBackgroundShow(true)
            tile.micLevel = 0
            classroom.setOnline(tile.uid, false)
        }
        function onVolumeChanged(uid, value) {
            var tile = events.tileOf(uid)
            if (tile)
                tile.micLevel = value
        }
    }

    // The SDK keeps its last round trip; each read takes it and resets it.
    Timer {
        id: id_getILiveQualityData
        interval: 2000
        repeat: true
        running: events.engine !== null && events.engine.m_isEnterRoom
        onTriggered: {
            var quality = events.engine.getILiveQualityData()
            if (quality > 0)
                classroom.lastmileDelay = quality
        }
    }
}

import QtQuick 2.12
import LMRMsgId 1.0
import LMRUserInfo 1.0

// The TRTC engine's events in the classroom. TRTC names its users by their
// `trtc_id`, so its tiles are looked up by `trtcId`.
Connections {
    property var classroom

    target: classroom && classroom.webview ? classroom.webview.service("trtcEngine") : null
    ignoreUnknownSignals: true

    function tileOf(trtcId) {
        var videoWindow = classroom.videoLoader ? classroom.videoLoader.item : null
        if (!videoWindow || String(trtcId) === "")
            return null
        for (var i = 0; i < videoWindow.count; ++i) {
            var tile = videoWindow.tileAt(i)
            if (tile && tile.trtcId === String(trtcId))
                return tile
        }
        return null
    }

    function onJoined() {
        classroom.engineJoined("trtc joined", LMRUserInfo.MediaType_TRtc)
        classroom.webview.answerLogin("trtc")
    }
    function onRtcStats(lastmileDelay) { classroom.lastmileDelay = lastmileDelay }
    function onVolumeChanged(uid, value) {
        var tile = tileOf(uid)
        if (tile)
            tile.micLevel = value
    }
    function onUserVideoAvailable(uid, available) {
        cppLog.avInfo("trtc state change uid:" + uid + " state:" + available)
        var tile = tileOf(uid)
        if (tile)
            classroom.updateVideoAvailable(tile.uid, available)
    }
    function onLeavingChannel() { classroom.engineLeft("trtc roomlogout callback", LMRMsgId.id_trtc_voiceRoomLogout()) }
}

import QtQuick 2.12
import LMRMsgId 1.0
import LMRUserInfo 1.0

// The Zego engine's events in the classroom. Tiles are found by their
// zgrtcId (the stream id, which is the member's Zego user id). Zego reports
// no speaking volume, so the tiles' level bars stay as they are.
Connections {
    property var classroom

    target: classroom && classroom.webview ? classroom.webview.service("zgRtcEngine") : null
    ignoreUnknownSignals: true
    // Comes from inside loginRoom(): the page's login is answered here.
    function onJoined() {
        classroom.engineJoined("zego joined", LMRUserInfo.MediaType_ZgRtc)
        classroom.webview.answerLogin("zego")
    }
    function onRtcStats(lastmileDelay) { classroom.lastmileDelay = lastmileDelay }
    function onRemoteAudioStats(lastmileDelay) { classroom.networkTransportDelay = lastmileDelay }
    function onUserVideoAvailable(uid, available) { classroom.updateVideoAvailable(uid, available) }
    function onLeavingChannel() { classroom.engineLeft("zego roomlogout callback", LMRMsgId.id_zego_voiceRoomLogout()) }
}

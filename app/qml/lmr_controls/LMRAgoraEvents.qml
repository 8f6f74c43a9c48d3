import QtQuick 2.12
import LMRMsgId 1.0
import LMRUserInfo 1.0

// The Agora engine's events in the classroom.
Connections {
    property var classroom

    target: classroom && classroom.webview ? classroom.webview.service("agoraEngine") : null
    ignoreUnknownSignals: true
    function onJoined() {
        classroom.engineJoined("agora joined", LMRUserInfo.MediaType_Agora)
        classroom.webview.answerLogin("agora")
    }
    function onRtcStats(lastmileDelay) { classroom.lastmileDelay = lastmileDelay }
    function onRemoteAudioStats(networkTransportDelay) { classroom.networkTransportDelay = networkTransportDelay }
    function onVolumeChanged(uid, value) { classroom.updateVolume(uid, value) }
    function onUserVideoAvailable(uid, available) { classroom.updateVideoAvailable(uid, available) }
    function onLeavingChannel() { classroom.engineLeft("agora roomlogout callback", LMRMsgId.id_agora_voiceRoomLogout()) }
}

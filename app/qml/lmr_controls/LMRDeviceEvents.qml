import QtQuick 2.12
import BCDevice 1.0

// The device lists follow plugged and removed devices, once a burst of
// changes has settled ("cppEvent").
Connections {
    target: typeof cppEvent !== "undefined" ? cppEvent : null
    ignoreUnknownSignals: true
    function onDevUpdate() {
        cppLog.avInfo("device change, update device list")
        BCDevice.updateDevice()
    }
}

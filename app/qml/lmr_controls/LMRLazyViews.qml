import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Window 2.12

// The views a user opens now and then (settings, about, device test, the
// test-code view, the courseware file dialog). They are made in the
// background once the window has drawn its first frame, or at once when one
// is asked for before that: the window shows without waiting for them.
// Popups live in the window's overlay, outside the scaled content, and scale
// themselves from their top left corner (popups are placed by their scaled size).
Item {
    id: views
    property Item window

    readonly property var settingView: settingLoader.item
    readonly property var aboutView: aboutLoader.item
    readonly property var testDeviceView: testDeviceLoader.item
    readonly property var testCodeView: testCodeLoader.item
    readonly property var mediaDialog: mediaDialogLoader.item
    readonly property Item overlay: Overlay.overlay

    function take(loader) {
        loader.asynchronous = false // finishes a load in progress at once
        loader.active = true
        return loader.item
    }
    function settings() { return take(settingLoader) }
    function about() { return take(aboutLoader) }
    function testDevice() { return take(testDeviceLoader) }
    function testCode() { return take(testCodeLoader) }
    function fileDialog() { return take(mediaDialogLoader) }

    function makeAll() {
        for (var i = 0; i < loaders.length; ++i)
            loaders[i].active = true
    }
    readonly property var loaders: [settingLoader, aboutLoader, testDeviceLoader, testCodeLoader, mediaDialogLoader]

    function popup(item) {
        item.parent = views.overlay
        item.scale = Qt.binding(function () { return window.zoom })
        item.transformOrigin = Popup.TopLeft
    }

    Connections {
        id: firstFrame
        target: views.Window.window
        function onFrameSwapped() {
            firstFrame.enabled = false
            Qt.callLater(views.makeAll)
        }
    }

    Loader {
        id: settingLoader
        active: false
        asynchronous: true
        source: "qrc:/lmr_controls/setting_controls/SettingView.qml"
        onLoaded: {
            views.popup(item)
            item.sgEyeEnable.connect(window.isShow)
            item.sgRestartNeeded.connect(window.askRestart)
            item.sgRestartNow.connect(window.restartApp)
        }
    }
    Loader {
        id: aboutLoader
        active: false
        asynchronous: true
        source: "qrc:/lmr_controls/AboutView.qml"
        onLoaded: {
            views.popup(item)
            item.h5version = Qt.binding(function () { return window.h5version })
        }
    }
    Loader {
        id: testDeviceLoader
        active: false
        asynchronous: true
        source: "qrc:/lmr_controls/LMRTestDevice.qml"
        onLoaded: views.popup(item)
    }
    Loader {
        id: testCodeLoader
        active: false
        asynchronous: true
        source: "qrc:/lmr_controls/MyTestCodeView.qml"
        onLoaded: views.popup(item)
    }
    Loader {
        id: mediaDialogLoader
        active: false
        asynchronous: true
        source: "qrc:/lmr_controls/LMRMediaDialog.qml"
        onLoaded: item.accepted.connect(function () { window.playMediaFile(item.fileUrl) })
    }
}

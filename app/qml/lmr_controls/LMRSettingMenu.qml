import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/controls"

// Settings menu of the title bar. The window decides what the view entries
// open; the switches here are applied directly.
Popup {
    id: menu
    objectName: "LMRSettingMenu"

    signal sgDeviceTest()
    signal sgAdvancedSetting()
    signal sgAbout()
    signal sgRestartNeeded()

    function trigger(name) {
        close()
        cppLog.uiClick("setting menu " + name)
        switch (name) {
        case "deviceTest": sgDeviceTest(); break
        case "advancedSetting": sgAdvancedSetting(); break
        case "about": sgAbout(); break
        case "clearBrowser":
            cppConfigFile.setClearBrowserStatus(true)
            sgRestartNeeded()
            break
        case "hdAccess":
            cppConfigFile.setHardwareAcceleration(!cppConfigFile.getHardwareAcceleration())
            sgRestartNeeded()
            break
        case "courseProxy":
            courseProxy = !courseProxy
            cppCef.sendToWeb(cppNotify.callH5_jsSetting("courseProxy", courseProxy))
            break
        case "micVolumeUp":
            cppConfigFile.setMicVolumeScale(micBoosted() ? "1.0" : "1.5")
            micUp.checked = micBoosted()
            break
        }
    }
    property bool courseProxy: false
    function micBoosted() { return parseFloat(cppConfigFile.getMicVolumeScale()) > 1.0 }

    width: 200
    padding: 0
    topPadding: 6
    bottomPadding: 6
    background: BCMenuBackground {}
    onAboutToShow: {
        hd.checked = cppConfigFile.getHardwareAcceleration()
        micUp.checked = micBoosted()
    }

    contentItem: Column {
        BCImageItemRectangle { objectName: "itemDeviceTest"; text: qsTr("Device Test"); onClicked: menu.trigger("deviceTest") }
        BCImageItemRectangle { objectName: "itemAdvancedSetting"; text: qsTr("Advanced Setting"); onClicked: menu.trigger("advancedSetting") }
        BCImageItemRectangle { objectName: "itemClearBrowser"; text: qsTr("Clear Browser"); onClicked: menu.trigger("clearBrowser") }
        BCLine {}
        BCImageItemRectangle { id: hd; objectName: "itemHdAccess"; text: qsTr("HD Access"); checkable: true; onClicked: menu.trigger("hdAccess") }
        BCImageItemRectangle { objectName: "itemCourseProxy"; text: qsTr("Course Proxy"); checkable: true; checked: menu.courseProxy; onClicked: menu.trigger("courseProxy") }
        BCImageItemRectangle { id: micUp; objectName: "itemMicVolumeUp"; text: qsTr("Mic Volumn Up"); checkable: true; onClicked: menu.trigger("micVolumeUp") }
        BCLine {}
        BCImageItemRectangle { objectName: "itemAbout"; text: qsTr("About"); onClicked: menu.trigger("about") }
    }
}

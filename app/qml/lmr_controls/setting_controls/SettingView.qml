import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Dialogs 1.3
import "qrc:/controls"

// Advanced settings. Each choice is written to the settings file at once;
// the ones the process reads only at start-up ask for a restart.
Popup {
    id: view
    objectName: "SettingView"

    signal sgEyeEnable(bool flag)
    signal sgRestartNeeded()
    signal sgRestartNow()

    function renderValue() {
        var r = cppConfigFile.getQMLRender()
        return r === "GLES" || r === "SOFT" ? r : "GL"
    }
    function sslOn() {
        var mode = cppConfigFile.getMainUrlMode()
        return mode !== 3 && mode !== 4 // 1 and 2 are the HTTPS modes
    }

    function setBeauty(on) {
        if (on === cppConfigFile.getBeauty())
            return
        cppConfigFile.setBeauty(on)
        cppLog.uiClick("beauty:" + on)
    }
    function setEye(on) {
        if (on === cppConfigFile.getProtectedEye())
            return
        cppConfigFile.setProtectedEye(on)
        cppLog.uiClick("protected eye:" + on)
        sgEyeEnable(on)
    }
    function setRender(value) {
        if (value === renderValue())
            return
        cppLog.otherInfo("render:" + value)
        cppConfigFile.setQMLRender(value)
        sgRestartNeeded()
    }
    function setSsl(on) {
        if (on === sslOn())
            return
        var mode = on ? 1 : 3
        cppLog.otherInfo("m_SSLmode:" + mode)
        cppConfigFile.setMainUrlMode(mode)
        sgRestartNeeded()
    }
    function setPen(on) {
        if (on === cppConfigFile.getPenFlag())
            return
        cppConfigFile.setPenFlag(on)
        cppCef.sendToWeb(cppNotify.callH5_jsSetting("writingPad", on)) // a call text, not a notification
    }
    // The recorder, the status table and the logs keep the folders they opened
    // until the next start; a recording in progress stays whole in the old
    // folder. So a new folder is offered with a restart, never taken up halfway.
    function changeDirectory(folder) {
        if (!cppTool.isWritableDir(folder) || !cppDir.changeDirPath(folder)) {
            cppLog.otherError("change directory failed: " + folder)
            dirBox.openMsg("dirRefused", qsTr("This folder cannot be used, please choose another one!"), 1, "", qsTr("OK"))
            return false
        }
        dirText.text = cppDir.recordPath()
        dirBox.openMsg("dirRestart", qsTr("The new folder is used after a restart. Restart the client now?"), 2,
                       qsTr("Later"), qsTr("Restart now"))
        return true
    }
    // Shows what the settings file holds now.
    function reload() {
        beautyOn.checked = cppConfigFile.getBeauty(); beautyOff.checked = !beautyOn.checked
        eyeOn.checked = cppConfigFile.getProtectedEye(); eyeOff.checked = !eyeOn.checked
        var r = renderValue()
        renderGL.checked = r === "GL"; renderGLES.checked = r === "GLES"; renderSoft.checked = r === "SOFT"
        sslOpen.checked = sslOn(); sslClose.checked = !sslOpen.checked
        penOn.checked = cppConfigFile.getPenFlag(); penOff.checked = !penOn.checked
        dirText.text = cppDir.recordPath()
        dirBox.close()
    }

    modal: true
    anchors.centerIn: Overlay.overlay
    width: 640
    height: 560
    padding: 0
    onAboutToShow: reload()
    background: BCMenuBackground {}

    contentItem: Item {
        Rectangle {
            id: header
            anchors { left: parent.left; right: parent.right; top: parent.top }
            height: 44
            radius: 6
            color: "#f4f6fa"
            Text {
                anchors { left: parent.left; leftMargin: 20; verticalCenter: parent.verticalCenter }
                text: qsTr("Advanced Setting")
                font.pixelSize: 15
                font.bold: true
                color: "#2b3240"
            }
            Text {
                objectName: "closeSetting"
                anchors { right: parent.right; rightMargin: 16; verticalCenter: parent.verticalCenter }
                text: "\u2715"
                color: "#8a93a6"
                font.pixelSize: 16
                MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: view.close() }
            }
        }

        Flickable {
            anchors { left: parent.left; right: parent.right; top: header.bottom; bottom: parent.bottom; margins: 20 }
            contentHeight: body.height
            clip: true
            ScrollBar.vertical: ScrollBar {}

            Column {
                id: body
                width: parent.width
                spacing: 16

                BCGroupBox {
                    title: qsTr("Display settings")
                    note: qsTr("Set what is displayed")
                    Row {
                        spacing: 12
                        Text { width: 150; text: qsTr("Video beauty"); anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 13 }
                        ButtonGroup { id: beautyGroup }
                        BCRadioButton { id: beautyOn; objectName: "beautyOn"; text: qsTr("Open"); ButtonGroup.group: beautyGroup; onClicked: view.setBeauty(true) }
                        BCRadioButton { id: beautyOff; objectName: "beautyOff"; text: qsTr("Close"); ButtonGroup.group: beautyGroup; onClicked: view.setBeauty(false) }
                    }
                    Row {
                        spacing: 12
                        Text { width: 150; text: qsTr("Eye protection mode"); anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 13 }
                        ButtonGroup { id: eyeGroup }
                        BCRadioButton { id: eyeOn; objectName: "eyeOn"; text: qsTr("Open"); ButtonGroup.group: eyeGroup; onClicked: view.setEye(true) }
                        BCRadioButton { id: eyeOff; objectName: "eyeOff"; text: qsTr("Close"); ButtonGroup.group: eyeGroup; onClicked: view.setEye(false) }
                    }
                }

                BCGroupBox {
                    title: qsTr("Hardware Acceleration")
                    Row {
                        spacing: 12
                        Text { width: 150; text: qsTr("Render Engine"); anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 13 }
                        ButtonGroup { id: renderGroup }
                        BCRadioButton { id: renderGL; objectName: "renderGL"; text: qsTr("OpenGL"); ButtonGroup.group: renderGroup; onClicked: view.setRender("GL") }
                        // Direct3D through ANGLE exists on Windows only.
                        BCRadioButton { id: renderGLES; objectName: "renderGLES"; visible: Qt.platform.os === "windows"; text: qsTr("DirectX"); ButtonGroup.group: renderGroup; onClicked: view.setRender("GLES") }
                        BCRadioButton { id: renderSoft; objectName: "renderSoft"; text: qsTr("Software"); ButtonGroup.group: renderGroup; onClicked: view.setRender("SOFT") }
                    }
                    Row {
                        spacing: 12
                        Text { width: 150; text: qsTr("SSL"); anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 13 }
                        ButtonGroup { id: sslGroup }
                        BCRadioButton { id: sslOpen; objectName: "sslOpen"; text: qsTr("Open"); ButtonGroup.group: sslGroup; onClicked: view.setSsl(true) }
                        BCRadioButton { id: sslClose; objectName: "sslClose"; text: qsTr("Close"); ButtonGroup.group: sslGroup; onClicked: view.setSsl(false) }
                    }
                    Row {
                        spacing: 12
                        Text { width: 150; text: qsTr("Pen"); anchors.verticalCenter: parent.verticalCenter; font.pixelSize: 13 }
                        ButtonGroup { id: penGroup }
                        BCRadioButton { id: penOn; objectName: "penOn"; text: qsTr("Open"); ButtonGroup.group: penGroup; onClicked: view.setPen(true) }
                        BCRadioButton { id: penOff; objectName: "penOff"; text: qsTr("Close"); ButtonGroup.group: penGroup; onClicked: view.setPen(false) }
                    }
                }

                BCGroupBox {
                    title: qsTr("Recording storage directory")
                    note: qsTr("Save the recording file in this folder by default")
                    Row {
                        spacing: 12
                        width: parent.width
                        Rectangle {
                            width: parent.width - changeButton.width - 12
                            height: 34
                            radius: 4
                            border.color: "#cfd5e0"
                            Text {
                                id: dirText
                                objectName: "dirText"
                                anchors { fill: parent; leftMargin: 10; rightMargin: 10 }
                                verticalAlignment: Text.AlignVCenter
                                elide: Text.ElideMiddle
                                font.pixelSize: 12
                                color: "#2b3240"
                            }
                        }
                        BCRoundButton {
                            id: changeButton
                            text: qsTr("Change directory")
                            onClicked: folderDialog.open()
                        }
                    }
                }
            }
        }
    }

    // Inside the view: the window's own box would sit behind this pop-up.
    BCMsgBox {
        id: dirBox
        objectName: "dirBox"
        parent: view.contentItem
        onAccepted: if (id === "dirRestart") view.sgRestartNow()
    }

    FileDialog {
        id: folderDialog
        title: qsTr("Change directory")
        selectFolder: true
        onAccepted: view.changeDirectory(String(folder))
    }
}

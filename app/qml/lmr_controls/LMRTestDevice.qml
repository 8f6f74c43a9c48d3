import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import BCDevice 1.0
import "qrc:/controls"
import "qrc:/lmr_controls/testDeviceControls"

// Guided device test: speaker, microphone and camera one after another, then
// a summary. Outside class only; modal.
Popup {
    id: view
    objectName: "LMRTestDevice"

    signal sgTestDeviceClose()
    signal sgTestDeviceShow()

    // The user's verdicts: undefined until the page was answered.
    property var speakerHear
    property var micHear
    property var cameraHear
    readonly property alias currentPage: pages.currentIndex

    function setDlgPoint(dlgX, dlgY) {
        anchors.centerIn = undefined // placed by the caller from now on
        x = dlgX
        y = dlgY
    }

    function sidebarClicked(index) {
        for (var i = 0; i < sidebarModel.count; ++i)
            sidebarModel.setProperty(i, "p_isclicked", i === index)
        if (pages.currentIndex === 0 && index !== 0)
            speakerPage.pageHidden()
        if (pages.currentIndex === 1 && index !== 1)
            micPage.stopRecord()
        pages.currentIndex = index
        if (index === 0)
            speakerPage.pageShown()
        else if (index === 1)
            micPage.pageShown()
        else if (index === 2)
            cameraPage.pageShown()
        else
            resultPage.pageShown()
    }

    function fill(model, names) {
        model.clear()
        for (var i = 0; i < names.length; ++i)
            model.append({ "name": names[i] })
    }
    function validIndex(index, count) { return index >= 0 && index < count ? index : 0 }

    function speakerDeviceAdd(model, index) {
        speakerPage.speakerIndex = -1 // the model is rebuilt: the box must follow the new index
        fill(speakerPage.speakerModel, model)
        speakerPage.comboEnabled = true
        speakerPage.speakerIndex = validIndex(index, model.length)
    }
    function withoutSpeakerDevice(setConfig) {
        speakerPage.speakerModel.clear()
        speakerPage.speakerIndex = -1
        speakerPage.comboEnabled = false
        if (setConfig) {
            cppConfigFile.setSpeakerIndex(-1)
            cppConfigFile.setSpeakerName("")
            cppConfigFile.setSpeakerId("")
        }
    }
    function micDeviceAdd(model, index) {
        micPage.micIndex = -1 // the model is rebuilt: the box must follow the new index
        fill(micPage.micModel, model)
        micPage.comboEnabled = true
        micPage.micIndex = validIndex(index, model.length)
    }
    function withoutMicDevice(setConfig) {
        micPage.micModel.clear()
        micPage.micIndex = -1
        micPage.comboEnabled = false
        if (setConfig) {
            cppConfigFile.setMicIndex(-1)
            cppConfigFile.setMicName("")
            cppConfigFile.setMicId("")
        }
    }
    function cameraDeviceAdd(model, index) {
        cameraPage.cameraIndex = -1 // the model is rebuilt: the box must follow the new index
        fill(cameraPage.cameraModel, model)
        cameraPage.comboEnabled = true
        cameraPage.cameraIndex = validIndex(index, model.length)
    }
    function withoutCameraDevice(setConfig) {
        cameraPage.cameraModel.clear()
        cameraPage.cameraIndex = -1
        cameraPage.comboEnabled = false
        if (setConfig) {
            cppConfigFile.setCameraIndex(-1)
            cppConfigFile.setCameraName("")
            cppConfigFile.setCameraId("")
        }
    }

    function loadSpeakers() {
        var names = BCDevice.getLoudspeakers()
        if (names.length === 0)
            withoutSpeakerDevice(false)
        else
            speakerDeviceAdd(names, cppConfigFile.getSpeakerIndex())
    }
    function loadMicrophones() {
        var names = BCDevice.getMicrophones()
        if (names.length === 0)
            withoutMicDevice(false)
        else
            micDeviceAdd(names, cppConfigFile.getMicIndex())
    }
    function loadCameras() {
        var names = BCDevice.getCameras()
        if (names.length === 0)
            withoutCameraDevice(false)
        else
            cameraDeviceAdd(names, cppConfigFile.getCameraIndex())
    }

    function closeWindow() {
        if (pages.currentIndex === 0)
            speakerPage.pageHidden()
        BCDevice.stopAll()
        BCDevice.stopMp3()
        speakerPage.playing = false
        micPage.recording = false
        // The page opened the test from its home view: take it back there.
        if (cppConfigFile.getHomeFlag()) {
            cppConfigFile.setHomeFlag(false)
            cppCef.resetHomePage()
        }
        close()
        sgTestDeviceClose()
    }

    function restart() {
        speakerHear = undefined
        micHear = undefined
        cameraHear = undefined
        speakerPage.adviceVisible = false
        micPage.adviceVisible = false
        cameraPage.adviceVisible = false
        sidebarClicked(0)
    }

    modal: true
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay
    // Scaled by the window it opens in, with everything inside.
    width: 720
    height: 500
    padding: 0
    background: BCMenuBackground {}
    onOpened: {
        sgTestDeviceShow()
        restart()
    }
    // However it was closed, nothing keeps playing or recording.
    onClosed: {
        speakerPage.stopMusic()
        micPage.stopRecord()
        cameraPage.stopPreview()
    }

    contentItem: Item {
        Rectangle {
            id: header
            anchors { left: parent.left; right: parent.right; top: parent.top }
            height: 44
            color: "#f4f6fa"
            radius: 6
            Text {
                anchors { left: parent.left; leftMargin: 20; verticalCenter: parent.verticalCenter }
                text: qsTr("Device Test")
                font.pixelSize: 15
                font.bold: true
                color: "#2b3240"
            }
            Text {
                objectName: "closeButton"
                anchors { right: parent.right; rightMargin: 16; verticalCenter: parent.verticalCenter }
                text: "\u2715"
                color: "#8a93a6"
                font.pixelSize: 16
                MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: view.closeWindow() }
            }
        }

        ListModel {
            id: sidebarModel
            ListElement { p_name: qsTr("Test Speaker"); p_index: 0; p_indexIcon: "qrc:/images/devicetest/btn_TestDevice_speacker.svg"; p_isclicked: true }
            ListElement { p_name: qsTr("Micphone Test"); p_index: 1; p_indexIcon: "qrc:/images/devicetest/btn_TestDevice_mic.svg"; p_isclicked: false }
            ListElement { p_name: qsTr("Camera Test"); p_index: 2; p_indexIcon: "qrc:/images/devicetest/btn_TestDevice_camera.svg"; p_isclicked: false }
            ListElement { p_name: qsTr("Test Result"); p_index: 3; p_indexIcon: "qrc:/images/devicetest/btn_TestDevice_result.svg"; p_isclicked: false }
        }

        Rectangle {
            id: sidebar
            anchors { left: parent.left; top: header.bottom; bottom: parent.bottom }
            width: 170
            color: "#f9fafc"
            Column {
                anchors { fill: parent; topMargin: 12 }
                Repeater {
                    model: sidebarModel
                    Rectangle {
                        objectName: "sidebar_" + p_index
                        width: sidebar.width
                        height: 44
                        color: p_isclicked ? "white" : (tabArea.containsMouse ? "#eef1f6" : "transparent")
                        Rectangle { visible: p_isclicked; width: 3; height: parent.height; color: "#2f6bff" }
                        Row {
                            anchors { left: parent.left; leftMargin: 20; verticalCenter: parent.verticalCenter }
                            spacing: 10
                            Image {
                                source: p_indexIcon
                                sourceSize: Qt.size(20, 20)
                                anchors.verticalCenter: parent.verticalCenter
                            }
                            Text {
                                text: p_name
                                font.pixelSize: 13
                                color: p_isclicked ? "#2f6bff" : "#2b3240"
                                anchors.verticalCenter: parent.verticalCenter
                            }
                        }
                        MouseArea {
                            id: tabArea
                            anchors.fill: parent
                            hoverEnabled: true
                            onClicked: view.sidebarClicked(p_index)
                        }
                    }
                }
            }
        }

        StackLayout {
            id: pages
            objectName: "testDevicePages"
            anchors { left: sidebar.right; right: parent.right; top: header.bottom; bottom: parent.bottom; margins: 24 }

            LMRTestDeviceSpeaker {
                id: speakerPage
                onSgReloadDeviceClick: view.loadSpeakers()
                onSgSpeakerSuccessClick: { view.speakerHear = true; view.sidebarClicked(1) }
                onSgSpeakerFailureClick: view.speakerHear = false
                onSgNextClick: view.sidebarClicked(1)
                function pageShown() {
                    cppLog.uiClick("speaker window show")
                    view.loadSpeakers()
                }
                function pageHidden() {
                    stopMusic()
                    cppLog.uiClick("speaker window close")
                }
            }
            LMRTestDeviceMic {
                id: micPage
                onSgReloadDeviceClick: view.loadMicrophones()
                onSgMicSuccessClick: { view.micHear = true; view.sidebarClicked(2) }
                onSgMicFailureClick: view.micHear = false
                onSgNextClick: view.sidebarClicked(2)
                function pageShown() {
                    cppLog.uiClick("mic window show")
                    view.loadMicrophones()
                }
            }
            LMRTestDeviceCamera {
                id: cameraPage
                onSgReloadDeviceClick: { view.loadCameras(); startPreview() }
                onSgCameraSuccessClick: { view.cameraHear = true; view.sidebarClicked(3) }
                onSgCameraFailureClick: view.cameraHear = false
                onSgNextClick: view.sidebarClicked(3)
                function pageShown() {
                    cppLog.uiClick("camera window show")
                    view.loadCameras()
                    startPreview()
                }
            }
            LMRTestDeviceResults {
                id: resultPage
                speakerHear: view.speakerHear
                micHear: view.micHear
                cameraHear: view.cameraHear
                onSgTestAgainClick: view.restart()
                onSgTestCompleteClick: view.closeWindow()
                function pageShown() { cppLog.uiClick("results window show") }
            }
            onCurrentIndexChanged: if (currentIndex !== 2) cameraPage.stopPreview()
        }
    }
}

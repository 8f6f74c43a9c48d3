import QtQuick 2.12
import QtQuick.Controls 2.12
import BCDevice 1.0
import BCQmlRenderView 1.0
import cpu.macRender.image 1.0
import "qrc:/controls"

// Camera page of the device test: the chosen camera's picture.
Item {
    id: page
    objectName: "cameraPage"

    signal sgReloadDeviceClick()
    signal sgCameraFailureClick()
    signal sgCameraSuccessClick()
    signal sgCameraComboBoxClick(int index)
    signal sgNextClick()

    property alias cameraModel: cameraModel
    property int cameraIndex: -1
    property bool comboEnabled: false
    property bool adviceVisible: false
    property int previewRotation: 0
    readonly property bool softRender: cppConfigFile.getQMLRender() === "SOFT"

    function setRotate(angle) { previewRotation = angle }
    function startPreview() {
        if (!comboEnabled || cameraIndex < 0)
            return
        if (softRender)
            cppGenerate.setRenderImageView(imageLoader.item)
        else
            cppGenerate.setRenderView(videoLoader.item)
        BCDevice.startCamera(cameraIndex)
    }
    function stopPreview() { BCDevice.stopCamera() }

    ListModel { id: cameraModel }

    onSgCameraFailureClick: {
        cppLog.avError("camera failure")
        adviceVisible = true
    }
    onSgCameraComboBoxClick: {
        cppLog.uiClick("camera combox select")
        cameraIndex = index
        cppConfigFile.setCameraIndex(index)
        cppConfigFile.setCameraName(cameraModel.get(index).name)
        cppConfigFile.setCameraId(BCDevice.getCameraIdList()[index])
        startPreview()
    }

    Column {
        anchors { left: parent.left; right: parent.right; top: parent.top }
        spacing: 14

        Row {
            spacing: 12
            Text {
                text: qsTr("Camera")
                font.pixelSize: 14
                color: "#2b3240"
                anchors.verticalCenter: parent.verticalCenter
            }
            BCComboBox {
                objectName: "cameraCombo"
                width: 300
                model: cameraModel
                textRole: "name"
                enabled: page.comboEnabled
                currentIndex: page.cameraIndex
                onActivated: page.sgCameraComboBoxClick(index)
            }
            BCRoundButton {
                primary: false
                text: qsTr("Refresh")
                onClicked: page.sgReloadDeviceClick()
            }
        }

        Rectangle {
            width: 320
            height: 240
            color: "#1f2430"
            clip: true
            Loader {
                id: videoLoader
                objectName: "videoWidget"
                anchors.fill: parent
                active: page.visible && !page.softRender // made when the page is shown, not with the window
                rotation: page.previewRotation
                sourceComponent: BCQmlRenderView {}
            }
            Loader {
                id: imageLoader
                objectName: "imageWidget"
                anchors.fill: parent
                active: page.visible && page.softRender
                rotation: page.previewRotation
                sourceComponent: XImageView {}
            }
            Text {
                anchors.centerIn: parent
                visible: !page.comboEnabled
                text: qsTr("No camera found")
                color: "#8a93a6"
                font.pixelSize: 13
            }
        }

        Row {
            spacing: 16
            BCRoundButton { objectName: "successButton"; text: qsTr("Can see"); onClicked: page.sgCameraSuccessClick() }
            BCRoundButton { objectName: "failureButton"; primary: false; text: qsTr("Can't see"); onClicked: page.sgCameraFailureClick() }
        }

        Column {
            objectName: "advice"
            visible: page.adviceVisible
            width: parent.width
            spacing: 6
            Text {
                width: parent.width
                wrapMode: Text.WordWrap
                text: qsTr("The video appears the flower screen, does not display, may be the USB contact bad or the camera shooting effect is low!")
                font.pixelSize: 12
                color: "#ff4d4f"
            }
            BCRoundButton { primary: false; text: qsTr("Next"); onClicked: page.sgNextClick() }
        }
    }
}

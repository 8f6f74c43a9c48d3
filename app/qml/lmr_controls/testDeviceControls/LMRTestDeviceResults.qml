import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/controls"

// Last page of the device test: the verdict of each device.
Item {
    id: page
    objectName: "resultPage"

    signal sgTestAgainClick()
    signal sgTestCompleteClick()

    property var speakerHear
    property var micHear
    property var cameraHear

    function word(verdict) { return verdict === true ? "正常" : (verdict === false ? "异常" : "尚未检测") }
    function refresh() {
        fruitModel.setProperty(0, "resultText", word(speakerHear))
        fruitModel.setProperty(1, "resultText", word(micHear))
        fruitModel.setProperty(2, "resultText", word(cameraHear))
    }
    onSpeakerHearChanged: refresh()
    onMicHearChanged: refresh()
    onCameraHearChanged: refresh()
    Component.onCompleted: refresh()

    ListModel {
        id: fruitModel
        objectName: "fruitModel"
        ListElement { resultname: "检测扬声器"; resultText: "尚未检测" }
        ListElement { resultname: "检测麦克风"; resultText: "尚未检测" }
        ListElement { resultname: "检测摄像头"; resultText: "尚未检测" }
    }
    function resultAt(row) { return fruitModel.get(row).resultText }

    Column {
        anchors { left: parent.left; right: parent.right; top: parent.top }
        spacing: 16

        Text { text: "检测完成"; font.pixelSize: 18; font.bold: true; color: "#2b3240" }
        Text { text: "检测结果反馈"; font.pixelSize: 14; color: "#5b6478" }

        Rectangle {
            width: parent.width
            height: 36 * (fruitModel.count + 1)
            border.color: "#e6e9f0"
            radius: 4
            Column {
                anchors.fill: parent
                Rectangle {
                    width: parent.width
                    height: 36
                    color: "#f4f6fa"
                    radius: 4
                    Text { x: 20; anchors.verticalCenter: parent.verticalCenter; text: "项目检测"; font.pixelSize: 13; font.bold: true; color: "#2b3240" }
                    Text { x: parent.width * 0.6; anchors.verticalCenter: parent.verticalCenter; text: "结果"; font.pixelSize: 13; font.bold: true; color: "#2b3240" }
                }
                Repeater {
                    model: fruitModel
                    Rectangle {
                        width: parent.width
                        height: 36
                        color: "transparent"
                        BCLine { anchors.top: parent.top; width: parent.width }
                        Text { x: 20; anchors.verticalCenter: parent.verticalCenter; text: resultname; font.pixelSize: 13; color: "#2b3240" }
                        Text {
                            objectName: "result_" + index
                            x: parent.width * 0.6
                            anchors.verticalCenter: parent.verticalCenter
                            text: resultText
                            font.pixelSize: 13
                            color: resultText === "异常" ? "#ff4d4f" : (resultText === "正常" ? "#1aa260" : "#8a93a6")
                        }
                    }
                }
            }
        }

        Row {
            spacing: 16
            BCRoundButton { objectName: "againButton"; primary: false; text: "重新检测"; onClicked: page.sgTestAgainClick() }
            BCRoundButton { objectName: "completeButton"; text: "完成测试"; onClicked: page.sgTestCompleteClick() }
        }
    }
}

import QtQuick 2.12

// In-window message box: a text and one or two buttons. `accepted(id)` and
// `rejected(id)` name the message that was answered.
Rectangle {
    id: box
    objectName: "BCMsgBox"

    property string msgId: ""
    property string text: ""
    property string okText: qsTr("OK")
    property string cancelText: ""
    property int buttonCount: 1
    property bool opened: false
    // Text to select and copy under the message, such as an address; empty
    // shows none. openMsg clears it.
    property string detail: ""

    signal accepted(string id)
    signal rejected(string id)

    function openMsg(id, msg, buttons, cancelButton, okButton) {
        msgId = id
        text = msg
        buttonCount = buttons
        cancelText = cancelButton || qsTr("Cancel")
        okText = okButton || qsTr("OK")
        detail = ""
        opened = true
    }
    function close() { opened = false }

    visible: opened
    anchors.fill: parent
    color: "#80000000"
    z: 100

    MouseArea { anchors.fill: parent } // modal: nothing behind takes clicks

    Rectangle {
        anchors.centerIn: parent
        width: 420
        height: content.height + (detailRow.visible ? detailRow.height + 12 : 0) + 96
        radius: 10
        color: "white"
        Text {
            id: content
            anchors { left: parent.left; right: parent.right; top: parent.top; margins: 28 }
            text: box.text
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            font.pixelSize: 15
            color: "#2b3240"
        }
        Row {
            id: detailRow
            visible: box.detail !== ""
            anchors { left: parent.left; right: parent.right; top: content.bottom; margins: 28; topMargin: 12 }
            spacing: 8
            Rectangle {
                width: parent.width - copyButton.width - parent.spacing
                height: 30
                radius: 4
                border.color: "#cfd5e0"
                clip: true
                TextEdit {
                    id: detailEdit
                    objectName: "detailEdit"
                    anchors { fill: parent; leftMargin: 8; rightMargin: 8 }
                    verticalAlignment: TextEdit.AlignVCenter
                    text: box.detail
                    readOnly: true
                    selectByMouse: true
                    font.pixelSize: 13
                    color: "#2b3240"
                }
            }
            Rectangle {
                id: copyButton
                objectName: "copyButton"
                width: 70; height: 30; radius: 15
                color: "#e8edf8"
                Text { anchors.centerIn: parent; text: qsTr("Copy"); color: "#2b3240"; font.pixelSize: 13 }
                MouseArea {
                    anchors.fill: parent
                    onClicked: {
                        detailEdit.selectAll()
                        detailEdit.copy()
                    }
                }
            }
        }
        Row {
            anchors { horizontalCenter: parent.horizontalCenter; bottom: parent.bottom; bottomMargin: 20 }
            spacing: 16
            Rectangle {
                objectName: "cancelButton"
                visible: box.buttonCount > 1
                width: 110; height: 34; radius: 17
                color: "#e8edf8"
                Text { anchors.centerIn: parent; text: box.cancelText; color: "#2b3240"; font.pixelSize: 14 }
                MouseArea { anchors.fill: parent; onClicked: { box.close(); box.rejected(box.msgId) } }
            }
            Rectangle {
                objectName: "okButton"
                width: 110; height: 34; radius: 17
                color: "#2f6bff"
                Text { anchors.centerIn: parent; text: box.okText; color: "white"; font.pixelSize: 14 }
                MouseArea { anchors.fill: parent; onClicked: { box.close(); box.accepted(box.msgId) } }
            }
        }
    }
}

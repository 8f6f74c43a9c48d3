import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/controls"

// Guided device test: speaker, microphone, camera, then the results.
Popup {
    id: view
    objectName: "LMRTestDevice"

    property int step: 0
    property var results: ({ "speaker": "", "mic": "", "camera": "" })
    readonly property var pages: ["qrc:/lmr_controls/testDeviceControls/LMRTestDeviceSpeaker.qml",
                                  "qrc:/lmr_controls/testDeviceControls/LMRTestDeviceMic.qml",
                                  "qrc:/lmr_controls/testDeviceControls/LMRTestDeviceCamera.qml",
                                  "qrc:/lmr_controls/testDeviceControls/LMRTestDeviceResults.qml"]

    function record(device, ok) {
        var r = results
        r[device] = ok ? "ok" : "fail"
        results = r
    }
    function next() {
        if (step < pages.length - 1)
            ++step
        else
            close()
    }
    function restart() {
        results = { "speaker": "", "mic": "", "camera": "" }
        step = 0
    }

    modal: true
    closePolicy: Popup.CloseOnEscape
    anchors.centerIn: Overlay.overlay
    width: 640
    height: 480
    padding: 0
    background: BCMenuBackground {}
    onAboutToShow: restart()
    onClosed: page.source = ""

    contentItem: Item {
        Rectangle {
            id: header
            anchors { left: parent.left; right: parent.right; top: parent.top }
            height: 44
            color: "#f4f6fa"
            radius: 6
            Row {
                anchors { left: parent.left; leftMargin: 20; verticalCenter: parent.verticalCenter }
                spacing: 18
                Repeater {
                    model: [qsTr("Speaker"), qsTr("Microphone"), qsTr("Camera"), qsTr("Results")]
                    Text {
                        text: (index + 1) + ". " + modelData
                        font.pixelSize: 13
                        font.bold: index === view.step
                        color: index === view.step ? "#2f6bff" : "#8a93a6"
                    }
                }
            }
            Text {
                anchors { right: parent.right; rightMargin: 16; verticalCenter: parent.verticalCenter }
                text: "\u2715"
                color: "#8a93a6"
                font.pixelSize: 16
                MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: view.close() }
            }
        }
        Loader {
            id: page
            objectName: "testDevicePage"
            anchors { left: parent.left; right: parent.right; top: header.bottom; bottom: parent.bottom; margins: 20 }
            source: view.visible ? view.pages[view.step] : ""
            onLoaded: if (item.results !== undefined) item.results = Qt.binding(function() { return view.results })
        }
        Connections {
            target: page.item
            ignoreUnknownSignals: true
            function onSgResult(device, ok) { view.record(device, ok); view.next() }
            function onSgRetry() { view.restart() }
            function onSgFinish() { view.close() }
        }
    }
}

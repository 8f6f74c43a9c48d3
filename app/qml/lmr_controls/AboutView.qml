import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/controls"

Popup {
    id: view
    objectName: "AboutView"
    property string h5version: ""

    modal: true
    anchors.centerIn: Overlay.overlay
    width: 380
    // As tall as what it shows.
    padding: 12
    background: BCMenuBackground {}

    contentItem: Column {
        spacing: 12
        topPadding: 8
        bottomPadding: 8
        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: "qrc:/images/lumira_logo.svg"
            sourceSize: Qt.size(72, 72)
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Lumira"
            font.pixelSize: 20
            font.bold: true
            color: "#2b3240"
        }
        Text {
            objectName: "versionText"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Version") + " " + cppConfigFile.getVersion()
                  + (view.h5version !== "" ? "   H5 " + view.h5version : "")
            font.pixelSize: 13
            color: "#5b6475"
        }
        BCRoundButton {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("OK")
            onClicked: view.close()
        }
    }
}

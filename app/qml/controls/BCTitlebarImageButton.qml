import QtQuick 2.12

// Square title-bar button with an icon, a hover shade and a tooltip.
Rectangle {
    id: button
    property url source
    property string tip: ""
    property color hoverColor: "#33ffffff"
    property bool checked: false
    signal clicked()

    width: 36
    height: 32
    radius: 4
    color: area.pressed ? "#55ffffff" : (area.containsMouse || checked ? hoverColor : "transparent")

    Image {
        anchors.centerIn: parent
        source: button.source
        sourceSize: Qt.size(20, 20)
        // Decoded off the GUI thread: the title bar's icons would otherwise
        // hold up the window's first showing.
        asynchronous: true
        opacity: button.enabled ? 1 : 0.4
    }
    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: button.clicked()
    }
    // Made on the first hover: a tooltip per button is a popup each, and the
    // window has many buttons before anyone points at one.
    Loader {
        active: area.containsMouse && button.tip !== ""
        source: "qrc:/controls/BCToolTip.qml"
        onLoaded: {
            item.parent = button
            item.text = Qt.binding(function () { return button.tip })
            item.visible = true
        }
    }
}

import QtQuick 2.12

// A titled group with a note under the title; children stack below.
Column {
    id: group
    property string title: ""
    property string note: ""
    default property alias content: body.data
    spacing: 8
    width: parent ? parent.width : 400

    Text {
        text: group.title
        font.pixelSize: 15
        font.bold: true
        color: "#2b3240"
    }
    Text {
        visible: group.note !== ""
        text: group.note
        font.pixelSize: 12
        color: "#8a93a6"
    }
    Column {
        id: body
        spacing: 6
        width: group.width
    }
    BCLine { width: group.width }
}

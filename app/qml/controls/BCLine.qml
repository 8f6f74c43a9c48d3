import QtQuick 2.12

Rectangle {
    property bool vertical: false
    width: vertical ? 1 : (parent ? parent.width : 100)
    height: vertical ? (parent ? parent.height : 100) : 1
    color: "#e3e7ee"
}

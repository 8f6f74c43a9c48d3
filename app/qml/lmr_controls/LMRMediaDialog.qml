import QtQuick 2.12
import QtQuick.Dialogs 1.3

// The courseware file to play, chosen by the user.
FileDialog {
    title: qsTr("Please select a media file!")
    nameFilters: ["音频文件 (*.mp3)"]
    folder: shortcuts.desktop
}

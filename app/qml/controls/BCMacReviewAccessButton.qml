import QtQuick 2.12

// Opens the system privacy settings for one permission until it is granted.
BCRoundButton {
    property bool granted: false
    primary: !granted
    enabled: !granted
    text: granted ? qsTr("Authorized") : qsTr("Go to authorize")
}

import QtQuick 2.12
import QtQuick.Window 2.12

// Top-level window around one extra browser (debug tools, page windows).
Window {
    id: window

    property alias browser: view
    property alias client: view.client
    property alias url: view.url

    width: 1024
    height: 700

    QCefBrowser {
        id: view
        anchors.fill: parent
        onWindowCloseRequested: window.close()
    }

    onClosing: if (view.client) view.client.OnBeforeClose()
}

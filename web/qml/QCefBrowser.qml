import QtQuick 2.12
import QtQuick.Window 2.12
import QtWebEngine 1.10
import QtWebChannel 1.0

// One browser view. Every event goes to its client, which decides.
WebEngineView {
    id: view

    property QtObject client: null
    // The zoom the page is drawn at. Some Qt WebEngine versions drop a view's
    // zoom when it loads another site, so it is set again after every load.
    property real pageZoom: 1
    onPageZoomChanged: zoomFactor = pageZoom

    webChannel: client ? client.webChannel : null
    userScripts: [
        WebEngineScript {
            name: "lmr-bridge"
            injectionPoint: WebEngineScript.DocumentCreation
            worldId: WebEngineScript.MainWorld
            sourceCode: view.client ? view.client.bridgeScript : ""
        }
    ]

    onLoadingChanged: {
        if (!client || loadRequest.status === WebEngineView.LoadStartedStatus)
            return
        // HTTP error replies are finished loads with their status, not load errors.
        if (loadRequest.status === WebEngineView.LoadSucceededStatus
                || loadRequest.errorDomain === WebEngineView.HttpStatusCodeDomain) {
            // Chromium now and then skips user scripts on the first document of
            // a new render process (seen after error pages); the script is
            // idempotent, so make sure of it once the page is there.
            zoomFactor = pageZoom
            runJavaScript(client.bridgeScript)
            client.OnLoadEnd(loadRequest.errorCode)
        }
        else if (loadRequest.status === WebEngineView.LoadFailedStatus)
            client.OnLoadError(loadRequest.errorCode, loadRequest.errorString, loadRequest.url.toString())
    }

    onContextMenuRequested: function(request) {
        if (!client)
            return
        var flags = 1 // page
        if (request.linkUrl.toString() !== "")
            flags |= 4
        if (request.mediaType !== ContextMenuRequest.MediaTypeNone)
            flags |= 8
        if (request.selectedText !== "")
            flags |= 16
        if (request.isContentEditable)
            flags |= 32
        request.accepted = client.OnBeforeContextMenu(flags, 1)
    }

    onActiveFocusChanged: if (activeFocus && client) client.OnGotFocus()

    onNewViewRequested: function(request) {
        var popup = popupWindow.createObject(null)
        request.openIn(popup.view)
        popup.show()
    }

    Connections {
        target: view.profile
        function onDownloadRequested(download) {
            if (download.view !== view || !view.client)
                return
            // Not accepted (the user cancelled): Qt WebEngine cancels it.
            view.client.OnBeforeDownload(download)
        }
        function onDownloadFinished(download) {
            if (download.view === view && view.client)
                view.client.OnDownloadUpdated(download.state === WebEngineDownloadItem.DownloadCompleted)
        }
    }

    Shortcut {
        sequence: "F12"
        context: Qt.WindowShortcut
        onActivated: if (view.client) view.client.OnKeyEvent(Qt.Key_F12)
    }

    // Pages open their own windows (window.open); they get a plain view.
    Component {
        id: popupWindow
        Window {
            id: popup
            property alias view: popupView
            width: 1024
            height: 700
            WebEngineView {
                id: popupView
                anchors.fill: parent
                onWindowCloseRequested: popup.close()
            }
            onClosing: popup.destroy()
        }
    }
}

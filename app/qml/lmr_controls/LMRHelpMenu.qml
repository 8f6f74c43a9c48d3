import QtQuick 2.12
import QtQuick.Controls 2.12
import "qrc:/controls"

// Help menu of the title bar: the service's FAQ page and the page's own
// problem report.
Popup {
    id: menu
    objectName: "LMRHelpMenu"

    // Without a browser to open the page in, the window shows the address.
    signal sgFaqUnreachable(string url)
    // How links leave the client; replaceable where no browser may start.
    property var openUrl: Qt.openUrlExternally

    function trigger(name) {
        close()
        if (name === "faq") {
            var url = cppConfigFile.getFaqUrl()
            cppLog.uiClick("open faq " + url)
            if (!openUrl(url)) {
                cppLog.otherError("open faq page failed: " + url)
                sgFaqUnreachable(url)
            }
        } else if (name === "feedback") {
            cppLog.uiClick("open problem feedback")
            cppNotify.triggerSgNotifyH5(cppNotify.callH5_jsDeviceOpenProblem())
        }
    }

    width: 180
    padding: 0
    topPadding: 6
    bottomPadding: 6
    background: BCMenuBackground {}
    contentItem: Column {
        BCImageItemRectangle { objectName: "itemFaq"; text: "常见问题帮助"; onClicked: menu.trigger("faq") }
        BCImageItemRectangle { objectName: "itemFeedback"; text: "问题反馈"; onClicked: menu.trigger("feedback") }
    }
}

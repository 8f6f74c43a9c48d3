#include "web/QCefClient.h"

#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "update/H5DownloadHelper.h"
#include "web/QCefBrowser.h"
#include "web/QMLNotify.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QQmlWebChannel>
#include <QUrl>

namespace
{

QString readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        TSpdlog::instance()->otherError(QStringLiteral("browser resource missing ") + path);
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

QCefClient::QCefClient(QObject *parent)
    : QObject(parent)
    , m_channel(new QQmlWebChannel(this))
    , m_bridge(new QCefBridge(this))
{
    m_channel->registerObject(QStringLiteral("lmrBridge"), m_bridge);
    connect(m_bridge, &QCefBridge::messageReceived, this, &QCefClient::OnProcessMessageReceived);
}

QCefClient::~QCefClient() = default;

QObject *QCefClient::webChannelObject() const { return m_channel; }

QString QCefClient::bridgeScript()
{
    // qwebchannel.js ships inside QtWebChannel; keeping it in a function scope
    // leaves the page's globals alone.
    static const QString script = [] {
        const QString channel = readResource(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        const QString bridge = readResource(QStringLiteral(":/qchannel-js/lmrbridge.js"));
        const QString library = readResource(QStringLiteral(":/qchannel-js/lmrqml.js"));
        if (channel.isEmpty() || bridge.isEmpty() || library.isEmpty())
            return QString();
        return QStringLiteral("(function(){\n") + channel
            + QStringLiteral("\nwindow.__lmrQWebChannel = QWebChannel;\n})();\n") + bridge + QLatin1Char('\n')
            + library;
    }();
    return script;
}

void QCefClient::OnAfterCreated(QCefBrowser *browser)
{
    m_browser = browser;
    m_created = true;
}

void QCefClient::OnBeforeClose()
{
    if (m_closed)
        return;
    m_closed = true;
    emit sgCloseBrowser(m_browser);
}

void QCefClient::OnLoadEnd(int httpStatusCode)
{
    if (httpStatusCode == 200)
        m_loadedOk = true;
}

bool QCefClient::isMainUrl(const QString &url, const QString &mainUrl)
{
    if (url == mainUrl)
        return true;
    // The view reports the normalised form ("http://host/" for "http://host").
    return QCefBrowser::toUrl(mainUrl).adjusted(QUrl::StripTrailingSlash)
        == QUrl(url).adjusted(QUrl::StripTrailingSlash);
}

void QCefClient::OnLoadError(int errorCode, const QString &errorText, const QString &failedUrl)
{
    if (m_loadedOk)
        return;
    // Every read of the main URL logs its mode: read it once.
    LMRConfig *config = LMRConfig::instance();
    const QString mainUrl = config->getMainUrl();
    if (!isMainUrl(failedUrl, mainUrl))
        return;
    TSpdlog *log = TSpdlog::instance();
    log->netError(
        QStringLiteral("网页加载出错 code:%1 message:%2 url:%3").arg(QString::number(errorCode), errorText, failedUrl));
    if (mainUrl.isEmpty() || !m_browser)
        return;
    if (m_loadErrorCount < 4) {
        ++m_loadErrorCount;
        config->addMainUrlMode();
        m_browser->loadUrl(config->getMainUrl());
    } else {
        m_loadErrorCount = 0;
        log->netError(QStringLiteral("网页加载失败"));
        m_browser->loadUrl(config->get404Url());
    }
}

bool QCefClient::OnKeyEvent(int qtKey)
{
    if (qtKey != Qt::Key_F12) // VK_F12 (123)
        return true;
    LMRConfig *config = LMRConfig::instance();
    if (config->getWebDebugMode())
        emit sgOpenDebugBrowser(QStringLiteral("debug"), QStringLiteral("debug"), config->getDebugGingUrl());
    return false;
}

bool QCefClient::OnBeforeContextMenu(int typeFlags, int itemCount)
{
    const int onContent = CM_TYPEFLAG_LINK | CM_TYPEFLAG_MEDIA | CM_TYPEFLAG_SELECTION | CM_TYPEFLAG_EDITABLE;
    const bool background = (typeFlags & (CM_TYPEFLAG_PAGE | CM_TYPEFLAG_FRAME)) && !(typeFlags & onContent);
    return background && itemCount > 0;
}

void QCefClient::OnBeforeDownload(QObject *download) { H5DownloadHelper::instance()->onDownloadRequested(download); }

void QCefClient::OnDownloadUpdated(bool isComplete)
{
    if (isComplete)
        QMLNotify::instance()->triggerSgNotifyH5(
            QMLNotify::instance()->callH5_H5downloadState(QStringLiteral("Completed")));
}

void QCefClient::OnGotFocus() { }

qint64 QCefClient::utf8Size(const QString &text, qint64 limit)
{
    if (text.size() > limit)
        return text.size();
    qint64 bytes = 0;
    const int n = text.size();
    for (int i = 0; i < n && bytes <= limit; ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80)
            bytes += 1;
        else if (c.unicode() < 0x800)
            bytes += 2;
        else if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            bytes += 4;
            ++i;
        } else
            bytes += 3; // a lone surrogate: at most a 3-byte replacement character
    }
    return bytes;
}

void QCefClient::OnProcessMessageReceived(const QString &message)
{
    // Every message is logged and parsed in full further on: a page must not
    // be able to fill the log or the memory with one.
    const qint64 bytes = utf8Size(message, kMaxMessageBytes);
    if (bytes > kMaxMessageBytes) {
        TSpdlog::instance()->netError(QStringLiteral("page message refused, at least %1 bytes, begins:").arg(bytes),
            message.left(kRefusedPrefixChars));
        return;
    }
    emit sgWebMsgReceived(message);
}

#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "web/QCefBrowser.h"

class QQmlWebChannel;

// Object published to every page of one browser over QWebChannel as "lmrBridge":
// the only native entry a page can reach.
class QCefBridge : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE void postMessage(const QString &text) { emit messageReceived(text); }

signals:
    void messageReceived(const QString &text);
};

// Handlers of one browser. The view item forwards its load, key, menu, download
// and focus events here (see QCefBrowser.qml), so the behaviour lives in C++.
class QCefClient : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *webChannel READ webChannelObject CONSTANT)
    Q_PROPERTY(QString bridgeScript READ bridgeScript CONSTANT)
public:
    // Context menu type flags, as the view item reports them.
    enum ContextMenuFlag {
        CM_TYPEFLAG_PAGE = 1 << 0,
        CM_TYPEFLAG_FRAME = 1 << 1,
        CM_TYPEFLAG_LINK = 1 << 2,
        CM_TYPEFLAG_MEDIA = 1 << 3,
        CM_TYPEFLAG_SELECTION = 1 << 4,
        CM_TYPEFLAG_EDITABLE = 1 << 5,
    };
    Q_ENUM(ContextMenuFlag)

    // A page message longer than this (UTF-8 bytes) is refused unread; the
    // dispatcher (LMRRequest.js) holds messages to the same bound.
    static constexpr int kMaxMessageBytes = 1024 * 1024;
    // How much of a refused message the log keeps.
    static constexpr int kRefusedPrefixChars = 80;
    // The UTF-8 size of `text`, counted no further than just past `limit`.
    static qint64 utf8Size(const QString &text, qint64 limit);

    explicit QCefClient(QObject *parent = nullptr);
    ~QCefClient() override;

    QCefBrowser *browser() const { return m_browser; }
    bool created() const { return m_created; }
    bool loadedOk() const { return m_loadedOk; }
    int loadErrorCount() const { return m_loadErrorCount; }
    QQmlWebChannel *webChannel() const { return m_channel; }
    QObject *webChannelObject() const;

    // Script injected into every document before the page's own scripts.
    static QString bridgeScript();

    void OnAfterCreated(QCefBrowser *browser);
    bool DoClose() { return false; }
    Q_INVOKABLE void OnBeforeClose();
    Q_INVOKABLE void OnLoadEnd(int httpStatusCode);
    Q_INVOKABLE void OnLoadError(int errorCode, const QString &errorText, const QString &failedUrl);
    // Returns whether the key is consumed; only F12 (the debug window) passes.
    Q_INVOKABLE bool OnKeyEvent(int qtKey);
    // Returns true when the menu is to be emptied.
    Q_INVOKABLE bool OnBeforeContextMenu(int typeFlags, int itemCount);
    // The user names the file (H5DownloadHelper); a cancelled item stays untouched.
    Q_INVOKABLE void OnBeforeDownload(QObject *download);
    Q_INVOKABLE void OnDownloadUpdated(bool isComplete);
    Q_INVOKABLE void OnGotFocus();
    Q_INVOKABLE void OnProcessMessageReceived(const QString &message);

signals:
    void sgWebMsgReceived(QString msg);
    void sgCloseBrowser(QCefBrowser *browser);
    void sgOpenDebugBrowser(QString id, QString title, QString url, int width = 0, int height = 0);

private:
    static bool isMainUrl(const QString &url, const QString &mainUrl);

    QPointer<QCefBrowser> m_browser;
    bool m_created = false;
    bool m_closed = false;
    bool m_loadedOk = false;
    int m_loadErrorCount = 0;
    QQmlWebChannel *m_channel;
    QCefBridge *m_bridge;
};

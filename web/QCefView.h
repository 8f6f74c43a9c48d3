#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTimer>

class QCefApp;
class QCefBrowser;
class QCefClient;
class QQuickItem;

// The browser as QML sees it ("cppCef"): hosts the main browser inside the
// "root_cef" item of the window, carries page messages and manages the extra
// browser windows by id.
class QCefView : public QObject
{
    Q_OBJECT
public:
    explicit QCefView(QObject *parent = nullptr);
    ~QCefView() override;

    void init(QCefClient *client, QQuickItem *rootWindow, QCefApp *app);

    QCefClient *client() const { return m_client; }
    bool embedded() const { return m_embedded; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // The extra windows by id, in opening order.
    QList<QPair<QString, QCefClient *>> windows() const;

    Q_INVOKABLE void closeAllBrowser();
    Q_INVOKABLE void setResize(int width = 0, int height = 0, bool flag = false);
    // The page is drawn at the window's zoom by the browser itself, sharp,
    // not scaled up with the window's other content: its host is scaled by
    // `zoom`, so the browser undoes that and sizes itself in device pixels.
    Q_INVOKABLE void setZoom(double zoom);
    Q_INVOKABLE void load(QString url);
    Q_INVOKABLE void sendToWeb(QString msg);

public slots:
    void onCloseBrowser(QCefBrowser *browser);
    void openNewWindow(QString id, QString title, QString url, int width = 0, int height = 0);
    void resetHomePage();

signals:
    void sgWebMsgReceived(QString msg);

protected slots:
    void onCefTimer();

private:
    QCefBrowser *mainBrowser() const;
    void applyZoom();

    bool m_embedded = false;
    QPointer<QCefClient> m_client;
    QTimer *m_cefTimer = nullptr;
    QPointer<QQuickItem> m_rootWindow;
    QPointer<QQuickItem> m_browserWindow;
    QPointer<QCefApp> m_app;
    QList<QPair<QString, QPointer<QCefClient>>> m_windows;
    int m_width = 100;
    int m_height = 100;
    double m_zoom = 1.0;
};

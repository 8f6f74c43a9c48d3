#pragma once

#include "web/QCefCommandLine.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QCefClient;
class QCefView;
class QQmlEngine;

// Browser-process side of the embedded Chromium (Qt WebEngine): switches,
// profile settings and the creation of every browser.
class QCefApp : public QObject
{
    Q_OBJECT
public:
    struct Settings {
        QString browserSubprocessPath;
        QString cachePath;
        int logSeverity = 0;
        int remoteDebuggingPort = 0;
    };
    static constexpr int LOGSEVERITY_DEFAULT = 0;
    static constexpr int LOGSEVERITY_DISABLE = 99;

    explicit QCefApp(QQmlEngine *engine, QObject *parent = nullptr);
    ~QCefApp() override;

    // Before the application object exists: Qt WebEngine has to share GL
    // contexts, and cannot sandbox itself when run as root.
    static void prepareProcess();

    // Returns -1 when the browser runtime is ready, 1 otherwise.
    int initialize();
    bool initialized() const { return m_initialized; }

    void OnBeforeCommandLineProcessing(const QString &processType, QCefCommandLine &commandLine);
    Settings settings() const;
    const QCefCommandLine &commandLine() const { return m_commandLine; }

    // Null until initialised. The main browser (no parent view) is created
    // hidden and unparented; QCefView embeds it.
    QCefClient *createBrowser(
        QCefView *parentView, const QString &title, bool visible, const QString &url, int width, int height);
    void closeBrowser(int browserId);
    void closeAllBrowser();
    const QList<QCefClient *> &clients() const { return m_clients; }

private:
    void OnContextInitialized();

    QPointer<QQmlEngine> m_engine;
    QCefCommandLine m_commandLine;
    bool m_initialized = false;
    int m_nextBrowserId = 1;
    QList<QCefClient *> m_clients;
};

#include "web/QCefApp.h"

#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "web/QCefBrowser.h"
#include "web/QCefClient.h"
#include "web/QCefView.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QtWebEngine/QQuickWebEngineProfile>
#include <QtWebEngine/QtWebEngine>

#ifdef Q_OS_UNIX
#include <QLoggingCategory>
#include <unistd.h>

namespace
{
// Developer traces, off unless QT_LOGGING_RULES turns "lumira.browser.debug" on.
Q_LOGGING_CATEGORY(lcBrowser, "lumira.browser", QtInfoMsg)
} // namespace

#endif

namespace
{

const QString kDashes = QString(67, QLatin1Char('-'));

void appendEnvFlags(const char *name, const QStringList &arguments)
{
    QByteArray value = qgetenv(name);
    for (const QString &argument : arguments) {
        if (!value.isEmpty())
            value += ' ';
        value += argument.toLocal8Bit();
    }
    qputenv(name, value);
}

QObject *createFromComponent(QQmlEngine *engine, const QString &source, const QVariantMap &properties)
{
    QQmlComponent component(engine, QUrl(source), QQmlComponent::PreferSynchronous);
    if (component.isError()) {
        TSpdlog::instance()->otherError(QStringLiteral("browser view error ") + component.errorString());
        return nullptr;
    }
    QObject *object = component.beginCreate(engine->rootContext());
    if (!object) {
        TSpdlog::instance()->otherError(QStringLiteral("browser view error ") + component.errorString());
        return nullptr;
    }
    for (auto it = properties.begin(); it != properties.end(); ++it)
        object->setProperty(it.key().toUtf8().constData(), it.value());
    component.completeCreate();
    QQmlEngine::setObjectOwnership(object, QQmlEngine::CppOwnership);
    return object;
}

} // namespace

QCefApp::QCefApp(QQmlEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
}

QCefApp::~QCefApp() { qDeleteAll(m_clients); }

void QCefApp::prepareProcess()
{
#ifdef Q_OS_UNIX
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    QtWebEngine::initialize();
}

void QCefApp::OnBeforeCommandLineProcessing(const QString &processType, QCefCommandLine &commandLine)
{
    Q_UNUSED(processType)
    LMRConfig *config = LMRConfig::instance();
    if (config->getQMLRender() == QLatin1String("SOFT")) {
        commandLine.AppendSwitch(QStringLiteral("--disable-gpu"));
        commandLine.AppendSwitch(QStringLiteral("--disable-gpu-compositing"));
        commandLine.AppendSwitch(QStringLiteral("--disable-gpu-vsync"));
        commandLine.AppendSwitch(QStringLiteral("--disable-accelerated-2d-canvas"));
        commandLine.AppendSwitchWithValue(QStringLiteral("--enable-begin-frame-scheduling"), QStringLiteral("1"));
    }

    TSpdlog *log = TSpdlog::instance();
    const QString path = DirHelper::instance()->configPath() + QStringLiteral("/") + QStringLiteral("CefConfig.ini");
    log->otherInfo(QStringLiteral("debug mode:get cef config from file %1").arg(path));
    log->otherInfo(kDashes);
    if (QFileInfo::exists(path)) {
        QSettings file(path, QSettings::IniFormat);
        for (const QString &group : file.childGroups()) {
            file.beginGroup(group);
            for (const QString &key : file.childKeys()) {
                const QString value = file.value(key).toString();
                log->otherInfo(QStringLiteral("%1 %2").arg(key, value));
                commandLine.AppendSwitchWithValue(key, value);
            }
            file.endGroup();
        }
    }
    log->otherInfo(kDashes);

    commandLine.AppendSwitch(QStringLiteral("--allow-running-insecure-content"));
    commandLine.AppendSwitch(QStringLiteral("--disable-web-security"));
    commandLine.AppendSwitchWithValue(QStringLiteral("--ignore-urlfetcher-cert-requests"), QStringLiteral("1"));
    commandLine.AppendSwitchWithValue(QStringLiteral("--ignore-certificate-errors"), QStringLiteral("1"));
    commandLine.AppendSwitchWithValue(QStringLiteral("autoplay-policy"), QStringLiteral("no-user-gesture-required"));
    commandLine.AppendSwitchWithValue(QStringLiteral("--renderer-process-limit"), QStringLiteral("1"));
}

QCefApp::Settings QCefApp::settings() const
{
    LMRConfig *config = LMRConfig::instance();
    Settings settings;
    settings.browserSubprocessPath = QCoreApplication::applicationDirPath() + QStringLiteral("/lumira_render");
    settings.cachePath = DirHelper::instance()->cefCachePath();
    const bool debug = config->getWebDebugMode();
    settings.logSeverity = debug ? LOGSEVERITY_DEFAULT : LOGSEVERITY_DISABLE;
    settings.remoteDebuggingPort = debug ? config->getWebDebugPort() : 0;
    return settings;
}

int QCefApp::initialize()
{
    if (m_initialized)
        return -1;
    if (!m_engine || QCefClient::bridgeScript().isEmpty())
        return 1;
    m_commandLine = QCefCommandLine();
    OnBeforeCommandLineProcessing(QString(), m_commandLine);
    const Settings s = settings();

    // Chromium reads its switches when the first profile starts it, below.
    QStringList arguments = m_commandLine.toArguments();
    arguments << (s.logSeverity == LOGSEVERITY_DISABLE ? QStringLiteral("--log-level=3")
                                                       : QStringLiteral("--enable-logging"));
    appendEnvFlags("QTWEBENGINE_CHROMIUM_FLAGS", arguments);
    if (s.remoteDebuggingPort > 0)
        qputenv("QTWEBENGINE_REMOTE_DEBUGGING", QByteArray::number(s.remoteDebuggingPort));
    // A product render process, when one is installed beside us, replaces Qt's.
    if (QFileInfo(s.browserSubprocessPath).isExecutable())
        qputenv("QTWEBENGINEPROCESS_PATH", s.browserSubprocessPath.toLocal8Bit());

    QQuickWebEngineProfile *profile = QQuickWebEngineProfile::defaultProfile();
    if (!profile)
        return 1;
    profile->setPersistentStoragePath(s.cachePath);
    profile->setCachePath(s.cachePath + QStringLiteral("/Cache"));
    OnContextInitialized();
    return -1;
}

void QCefApp::OnContextInitialized() { m_initialized = true; }

QCefClient *QCefApp::createBrowser(
    QCefView *parentView, const QString &title, bool visible, const QString &url, int width, int height)
{
    if (!m_initialized || !m_engine)
        return nullptr;

    auto *client = new QCefClient(this);
    if (parentView)
        connect(client, &QCefClient::sgCloseBrowser, parentView, &QCefView::onCloseBrowser);

    QVariantMap properties { { QStringLiteral("client"), QVariant::fromValue<QObject *>(client) },
        { QStringLiteral("url"), QCefBrowser::toUrl(url) } };
    // Zero keeps the component's default size.
    if (width > 0)
        properties.insert(QStringLiteral("width"), width);
    if (height > 0)
        properties.insert(QStringLiteral("height"), height);
    QQuickItem *item = nullptr;
    QQuickWindow *window = nullptr;
    if (parentView) {
        properties.insert(QStringLiteral("title"), title);
        window = qobject_cast<QQuickWindow *>(
            createFromComponent(m_engine, QStringLiteral("qrc:/web/QCefBrowserWindow.qml"), properties));
        item = window ? qobject_cast<QQuickItem *>(window->property("browser").value<QObject *>()) : nullptr;
    } else {
        item = qobject_cast<QQuickItem *>(
            createFromComponent(m_engine, QStringLiteral("qrc:/web/QCefBrowser.qml"), properties));
        if (item) {
            item->setObjectName(title);
            item->setVisible(false);
        }
    }
    if (!item) {
        delete window;
        delete client;
        return nullptr;
    }
    auto *browser = new QCefBrowser(m_nextBrowserId++, item, window, client);
    client->OnAfterCreated(browser);
    if (window && visible)
        window->show();
    m_clients.append(client);
    return client;
}

void QCefApp::closeBrowser(int browserId)
{
    qCDebug(lcBrowser) << "QCefApp closeBrowser";
    for (int i = 0; i < m_clients.size(); ++i) {
        QCefClient *client = m_clients.at(i);
        if (client->browser() && client->browser()->GetIdentifier() == browserId) {
            client->browser()->closeHost();
            m_clients.removeAt(i);
            client->deleteLater();
            return;
        }
    }
}

void QCefApp::closeAllBrowser()
{
    qCDebug(lcBrowser) << "QCefApp closeAllBrowser";
    const QList<QCefClient *> clients = m_clients;
    m_clients.clear();
    for (QCefClient *client : clients) {
        if (client->browser())
            client->browser()->closeHost();
        client->deleteLater();
    }
    // Chromium shuts down with the application; the quit message is ours.
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

// QML tests of the classroom window, run by QtQuickTest on the real resources.
#include "SoundServer.h"
#include "TestEnv.h"

#include "app/AppStartup.h"
#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "device/BCDevice.h"
#include "device/DeviceTypes.h"
#include "device/NativeEvent.h"
#include "media/MediaTypes.h"
#include "media/video/GenerateImage.h"
#include "ui/Tools.h"
#include "web/QCefClient.h"
#include "web/QCefView.h"
#include "web/QMLNotify.h"
#include "web/WebTypes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QtQuickTest>

#include <dlfcn.h>

// Stands in for the recording dispatcher where the window only asks whether
// uploads are running.
class RecordDispatcherDouble : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool uploading MEMBER m_uploading)
public:
    Q_INVOKABLE bool isUploading() const { return m_uploading; }

private:
    bool m_uploading = false;
};

class Setup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        lumira::initResources();
        lumira::registerWebTypes();
        lumira::registerMediaTypes();
        lumira::registerDeviceTypes();
        const QString log = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_qml.log");
        TSpdlog::create(log, log);
    }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        QQmlContext *context = engine->rootContext();
        context->setContextProperty(QStringLiteral("cppWindow"), &m_window);
        context->setContextProperty(QStringLiteral("cppLog"), TSpdlog::instance());
        context->setContextProperty(QStringLiteral("cppTool"), Tools::instance());
        context->setContextProperty(QStringLiteral("cppNotify"), QMLNotify::instance());
        context->setContextProperty(QStringLiteral("cppConfigFile"), LMRConfig::instance());
        context->setContextProperty(QStringLiteral("cppDir"), DirHelper::instance());
        context->setContextProperty(QStringLiteral("cppCef"), &m_cef);
        context->setContextProperty(QStringLiteral("cppEvent"), &m_events);
        context->setContextProperty(QStringLiteral("cppGenerate"), BCDevice::instance()->generateImage());
        context->setContextProperty(QStringLiteral("cppTestLog"), this);
        context->setContextProperty(QStringLiteral("recordDispatcher"), &m_recorder);
        // Links the window opens land here instead of in a browser.
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    }

    void openUrl(const QUrl &url) { m_openedUrl = url.toString(); }
    Q_INVOKABLE QString openedUrl() const { return m_openedUrl; }

    // Closes the next modal widget dialog once it shows; modalSeen() names it.
    Q_INVOKABLE void closeNextModal()
    {
        m_modalSeen.clear();
        auto *poll = new QTimer(this);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, this, [this, poll]() {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                m_modalSeen = QString::fromLatin1(modal->metaObject()->className());
                modal->close();
                poll->deleteLater();
            }
        });
        poll->start();
        QTimer::singleShot(5000, poll, &QObject::deleteLater);
    }
    Q_INVOKABLE QString modalSeen() const { return m_modalSeen; }

    // The log as the tests see it.
    QString logText()
    {
        TSpdlog::flushAll();
        QFile file(DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_qml.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The settings file as it is on disk.
    QString configText()
    {
        QFile file(LMRConfig::instance()->fileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Where grabbed pictures go, when screenshots are asked for; empty otherwise.
    QString screenshotDir() { return qEnvironmentVariable("LUMIRA_SCREENSHOT_DIR"); }

private:
    QObject m_window;
    QCefView m_cef;
    NativeEvent m_events { false }; // device changes, raised by the tests
    RecordDispatcherDouble m_recorder;
    QString m_openedUrl;
    QString m_modalSeen;
};

int main(int argc, char **argv)
{
#if defined(__SANITIZE_ADDRESS__)
    // The software GL driver leaks two small blocks and is unloaded at exit,
    // after which a leak report cannot name it and its suppression cannot
    // match. Kept loaded, it is named.
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
#endif
    testenv::enterSandbox("qml");
    // The device test pages list the devices of a private sound server, or of
    // none at all.
    testenv::SoundServer server;
    if (qgetenv("LUMIRA_TEST_SOUND_SERVER") != "none"
        && !server.start(testenv::sandboxRoot() + QStringLiteral("/run/sound")))
        return 1;
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    // Widgets: the window's quit path runs the upload dialog.
    QApplication app(argc, argv);
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "test_qml", nullptr, &setup);
}

#include "test_qml.moc"

#pragma once
// The real classroom window with its dispatcher and a real Qt WebEngine page,
// wired the way start-up wires them. Pages report back with
// qtQuery({request: "test://report", kind, data}), which the dispatcher ignores
// and the harness collects.
#include "TestEnv.h"
#include "app/AppStartup.h"
#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "device/BCDevice.h"
#include "device/DeviceTypes.h"
#include "media/LMRAgora.h"
#include "media/LMRILive.h"
#include "media/LMRTRtc.h"
#include "media/LMRZgRtc.h"
#include "media/MediaTypes.h"
#include "media/SimRoomControl.h"
#include "media/video/GenerateImage.h"
#include "net/HttpMsg.h"
#include "net/LMRAosController.h"
#include "record/AudioDataDispatcherController.h"
#include "record/LMRRecordSQLite.h"
#include "ui/Tools.h"
#include "web/LMRUserInfo.h"
#include "web/QCefApp.h"
#include "web/QCefClient.h"
#include "web/QCefView.h"
#include "web/QMLNotify.h"
#include "web/WebTypes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSettings>
#include <QTcpServer>
#include <QTextStream>
#include <QVector>

#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace harness
{

struct Report {
    QString kind;
    QJsonValue data;
};

inline void processEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

using testenv::waitUntil;

// A local port nobody listens on (a main URL there fails at once), or to give
// a service of the test.
inline int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// The development service on a free port, stopped when the object goes.
class DevService
{
public:
    bool start()
    {
        port = freePort();
        do
            ossPort = freePort();
        while (ossPort == port);
        do
            tlsPort = freePort();
        while (tlsPort == port || tlsPort == ossPort);
        ossDir = testenv::sandboxRoot() + QStringLiteral("/oss-%1").arg(ossPort);
        m_process.start(QStringLiteral(LUMIRA_BIN_DIR "/lumira_devservice"),
            { "--port", QString::number(port), "--oss-port", QString::number(ossPort), "--tls-port",
                QString::number(tlsPort), "--oss-dir", ossDir, "--sntp-port", QString::number(sntpPort) });
        return m_process.waitForReadyRead(10000) && m_process.readAllStandardOutput().contains("listening");
    }
    ~DevService()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QString lessonUrl() const { return QStringLiteral("http://127.0.0.1:%1/qt1").arg(port); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QString ossEndpoint() const { return QStringLiteral("http://127.0.0.1:%1").arg(ossPort); }
    QString ossAccelerationEndpoint() const { return QStringLiteral("http://localhost:%1").arg(ossPort); }
    // Transfers against this service's store and form upload, with the build's keys.
    LMRAosSettings aosSettings() const
    {
        LMRAosSettings settings;
        settings.endpoint = ossEndpoint();
        settings.accelerationEndpoint = ossAccelerationEndpoint();
        settings.keyId = LUMIRA_OSS_KEY_ID;
        settings.keySecret = LUMIRA_OSS_KEY_SECRET;
        settings.uploadUrl = baseUrl();
        return settings;
    }
    int port = 0;
    int ossPort = 0;
    int tlsPort = 0;
    // UDP port of the network time server; 0: none.
    int sntpPort = 0;
    QString ossDir;

private:
    QProcess m_process;
};

inline QString writePage(const QString &name, const QString &body)
{
    const QString path = DirHelper::instance()->getAppData() + QStringLiteral("/") + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(body.toUtf8());
    return path;
}

// A page script that reports with report(kind, data).
inline QString pageWithScript(const QString &script)
{
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><script>\n"
               "function report(kind, data) { qtQuery({request: 'test://report', kind: kind, data: data}); }\n")
        + script + QStringLiteral("\n</script></head><body><p id=\"home\">page</p></body></html>");
}

inline QString logText()
{
    TSpdlog::flushAll();
    QFile file(DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_test.log"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

inline int countOf(const QString &haystack, const QString &needle) { return haystack.count(needle); }

// Once per process, before anything logs.
inline void setUp()
{
    static bool once = [] {
        lumira::initResources();
        lumira::registerWebTypes();
        lumira::registerMediaTypes();
        lumira::registerDeviceTypes();
        const QString log = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_test.log");
        TSpdlog::create(log, log);
        return true;
    }();
    Q_UNUSED(once)
}

class BrowserHarness
{
public:
    // Loads the classroom window; the main browser opens `url` unless empty.
    // With a development service, recordings upload to it.
    explicit BrowserHarness(const QString &url, const DevService *service = nullptr)
    {
        setUp();
        view = std::make_unique<QQuickView>();
        lumira::shapeMainView(*view);
        cef = std::make_unique<QCefView>();
        QQmlContext *context = view->rootContext();
        context->setContextProperty(QStringLiteral("cppWindow"), view.get());
        context->setContextProperty(QStringLiteral("cppLog"), TSpdlog::instance());
        context->setContextProperty(QStringLiteral("cppTool"), Tools::instance());
        context->setContextProperty(QStringLiteral("cppNotify"), QMLNotify::instance());
        context->setContextProperty(QStringLiteral("cppConfigFile"), LMRConfig::instance());
        context->setContextProperty(QStringLiteral("cppDir"), DirHelper::instance());
        context->setContextProperty(QStringLiteral("cppCef"), cef.get());
        context->setContextProperty(QStringLiteral("cppGenerate"), BCDevice::instance()->generateImage());
        agora = std::make_unique<LMRAgora>();
        context->setContextProperty(QStringLiteral("agoraEngine"), agora.get());
        context->setContextProperty(QStringLiteral("cppSimRoom"), &simRoom);
        if (service)
            recorder = uploadingRecorder(*service);
        else
            recorder = AudioDataDispatcherController::createProcessRecorder();
        QObject::connect(agora.get(), &LMRAgora::micFrame, recorder->micSink());
        QObject::connect(agora.get(), &LMRAgora::spkFrame, recorder->speakerSink());
        trtc = std::make_unique<LMRTRtc>();
        context->setContextProperty(QStringLiteral("trtcEngine"), trtc.get());
        QObject::connect(trtc.get(), &LMRTRtc::micFrame, recorder->micSink());
        QObject::connect(trtc.get(), &LMRTRtc::spkFrame, recorder->speakerSink());
        zego = std::make_unique<LMRZgRtc>();
        context->setContextProperty(QStringLiteral("zgRtcEngine"), zego.get());
        QObject::connect(zego.get(), &LMRZgRtc::micFrame, recorder->micSink());
        QObject::connect(zego.get(), &LMRZgRtc::spkFrame, recorder->speakerSink());
        ilive = std::make_unique<LMRILive>();
        context->setContextProperty(QStringLiteral("iliveEngine"), ilive.get());
        QObject::connect(ilive.get(), &LMRILive::micFrame, recorder->micSink());
        QObject::connect(ilive.get(), &LMRILive::spkFrame, recorder->speakerSink());
        context->setContextProperty(QStringLiteral("recordDispatcher"), recorder.get());
        view->setSource(QUrl(QStringLiteral("qrc:/lmr_controls/LMRMainView.qml")));
        view->show();

        QObject::connect(cef.get(), &QCefView::sgWebMsgReceived, [this](const QString &msg) {
            messages.append(msg);
            const QJsonObject obj = QJsonDocument::fromJson(msg.toUtf8()).object();
            if (obj.value(QStringLiteral("request")).toString() == QLatin1String("test://report"))
                reports.append({ obj.value(QStringLiteral("kind")).toString(), obj.value(QStringLiteral("data")) });
        });

        app = std::make_unique<QCefApp>(view->engine());
        initResult = app->initialize();
        rootCef
            = view->rootObject() ? view->rootObject()->findChild<QQuickItem *>(QStringLiteral("root_cef")) : nullptr;
        if (!url.isEmpty()) {
            client = app->createBrowser(nullptr, QStringLiteral("QCefView"), false, url,
                rootCef ? int(rootCef->width()) : 0, rootCef ? int(rootCef->height()) : 0);
            cef->init(client, rootCef, app.get());
        }
    }

    std::unique_ptr<AudioDataDispatcherController> uploadingRecorder(const DevService &service)
    {
        aos = std::make_unique<LMRAosController>(service.aosSettings());
        const QString ini = testenv::sandboxRoot() + QStringLiteral("/api.ini");
        QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("Browser/MainDebugUrlSwitch"), true);
        const QString host = QStringLiteral("127.0.0.1:%1").arg(service.port);
        http = std::make_unique<HttpMsg>(ini, QStringList { host, host, host });
        RecorderUploads uploads;
        uploads.aos = aos.get();
        uploads.http = http.get();
        uploads.userId = [] { return LMRUserInfo::instance()->userId(); };
        uploads.storedUserId = [] { return LMRConfig::instance()->getUserID(); };
        uploads.userIsTeacher = [] { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; };
        uploads.notifyPage = [](QString json) { QMLNotify::instance()->triggerSgNotifyH5(json); };
        uploads.runnerIdleMs = 100;
        return std::make_unique<AudioDataDispatcherController>(RecordState::process(), LMRRecordSQLite::instance(),
            DirHelper::instance()->recordPath(), systemRecordClock(), uploads);
    }

    ~BrowserHarness()
    {
        app.reset();
        view.reset();
        cef.reset();
        recorder.reset();
        aos.reset();
        agora.reset();
        trtc.reset();
        zego.reset();
        ilive.reset();
    }

    bool waitForReport(const QString &kind, int timeoutMs = 15000)
    {
        return waitUntil([&] { return reportOf(kind) != nullptr; }, timeoutMs);
    }

    const Report *reportOf(const QString &kind) const
    {
        for (const Report &report : reports)
            if (report.kind == kind)
                return &report;
        return nullptr;
    }

    int reportCount(const QString &kind) const
    {
        int n = 0;
        for (const Report &report : reports)
            n += report.kind == kind;
        return n;
    }

    std::unique_ptr<QQuickView> view;
    std::unique_ptr<QCefView> cef;
    std::unique_ptr<QCefApp> app;
    std::unique_ptr<LMRAgora> agora;
    std::unique_ptr<LMRTRtc> trtc;
    std::unique_ptr<LMRZgRtc> zego;
    std::unique_ptr<LMRILive> ilive;
    std::unique_ptr<AudioDataDispatcherController> recorder;
    std::unique_ptr<LMRAosController> aos;
    std::unique_ptr<HttpMsg> http;
    SimRoomControl simRoom;
    QQuickItem *rootCef = nullptr;
    // The classroom window's root item, inside the view's zoom frame.
    QQuickItem *root() const
    {
        return view->rootObject() ? view->rootObject()->findChild<QQuickItem *>(QStringLiteral("root")) : nullptr;
    }
    QCefClient *client = nullptr;
    int initResult = 0;
    QStringList messages;
    QVector<Report> reports;
};

// The main() of a GoogleTest program that hosts the browser.
inline int runBrowserTests(int argc, char **argv, const char *sandboxName)
{
    testenv::enterSandbox(sandboxName);
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QCefApp::prepareProcess();
    QApplication app(argc, argv);
    setUp();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace harness

#include "app/AppStartup.h"

#include "BuildConfig.h"
#include "app/CacheHousekeeping.h"
#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/SingleInstance.h"
#include "app/StartupArguments.h"
#include "app/TSpdlog.h"
#include "device/BCDevice.h"
#include "device/DeviceTypes.h"
#include "device/MicBoost.h"
#include "device/NativeEvent.h"
#include "diag/NetworkTestController.h"
#include "diag/ScreenshotController.h"
#include "diag/SystemReport.h"
#include "diag/TSpdlogUpload.h"
#include "media/LMRAgora.h"
#include "media/LMRILive.h"
#include "media/LMRTRtc.h"
#include "media/LMRZgRtc.h"
#include "media/MediaTypes.h"
#include "media/SimRoomControl.h"
#include "media/video/GenerateImage.h"
#include "net/HttpMsg.h"
#include "net/LMRAosController.h"
#include "platform/Desktop.h"
#include "platform/ExecutableName.h"
#include "platform/TerminationSignals.h"
#include "record/AudioDataDispatcherController.h"
#include "ui/LMRMessageBox.h"
#include "ui/LoadingDialog.h"
#include "ui/LockScreen.h"
#include "ui/Tools.h"
#include "ui/WindowZoom.h"
#include "update/LMRUpdate.h"
#include "update/UpdateTypes.h"
#include "web/QCefApp.h"
#include "web/QCefBrowser.h"
#include "web/QCefClient.h"
#include "web/QCefView.h"
#include "web/QMLNotify.h"
#include "web/WebTypes.h"

#include <QApplication>
#include <QDate>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QThread>
#include <QTranslator>

#include <sentry.h>

#include <cstdlib>
#include <memory>

// Q_INIT_RESOURCE declares its initialiser in the enclosing namespace.
static void initCoreResources()
{
    Q_INIT_RESOURCE(qml);
    Q_INIT_RESOURCE(ui);
    Q_INIT_RESOURCE(web);
    Q_INIT_RESOURCE(webscripts);
    Q_INIT_RESOURCE(media);
}

namespace lumira
{
namespace
{

// Developer traces, off unless QT_LOGGING_RULES turns "lumira.startup.debug" on.
Q_LOGGING_CATEGORY(lcStartup, "lumira.startup", QtInfoMsg)

void logInfo(const QString &text) { TSpdlog::instance()->otherInfo(text); }

QString tr(const char *text) { return QCoreApplication::translate("main", text); }

void showBox(int kind, const QString &text)
{
    LMRMessageBox box(kind, text);
    box.exec();
}

void sweep(const char *baseName)
{
    Tools::killProcessByName(platform::executableFileName(QString::fromLatin1(baseName)));
}

QString logFilePath()
{
    return DirHelper::instance()->logPath() + QDir::separator() + QStringLiteral("LMRApp_")
        + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log");
}

void registerFonts()
{
    const QString fontDir = QCoreApplication::applicationDirPath() + QStringLiteral("/font/");
    if (!QDir(fontDir).exists())
        return;
    const QStringList fonts
        = QDir(fontDir).entryList({ QStringLiteral("*.ttf"), QStringLiteral("*.otf") }, QDir::Files | QDir::NoSymLinks);
    for (const QString &font : fonts)
        QFontDatabase::addApplicationFont(
            QCoreApplication::applicationDirPath() + QStringLiteral("/font/%1").arg(font));
}

bool openGlUsable(const QQuickView &view)
{
    QOpenGLContext context;
    context.setFormat(view.requestedFormat());
    return context.create() && context.format().majorVersion() >= 2;
}

QQuickItem *rootObject(QQuickView &view)
{
    QQuickItem *root = view.rootObject();
    if (root && root->objectName() == QLatin1String("root"))
        return root;
    return root ? root->findChild<QQuickItem *>(QStringLiteral("root")) : nullptr;
}

// While locked only our own windows may take focus: the main view "root",
// the popped-out video window "m_videoViewLoader", and "root_cef", the name a
// browser in a native child window has. Qt WebEngine draws the page inside
// the main view instead, so focus on the page arrives as "root".
void onFocusWindowChanged(QQuickView &view, QWindow *window)
{
    if (LockScreen::instance()->getIsLockScreen()) {
        if (!window)
            return;
        const QString name = window->objectName();
        if (name != QLatin1String("root_cef") && name != QLatin1String("m_videoViewLoader")
            && name != QLatin1String("root"))
            return;
    }
    QQuickItem *root = rootObject(view);
    if (!root)
        return;
    if (window)
        QMetaObject::invokeMethod(root, "rootActive", Q_ARG(QVariant, QVariant(window->objectName())));
    else
        QMetaObject::invokeMethod(root, "rootInactive");
}

void onAboutToQuit(QQuickView &view)
{
    logInfo(QStringLiteral("qpp->qml:receieve signal app quit"));
    // A locked desktop is given back before the window goes.
    if (LockScreen::instance()->getIsLockScreen())
        LockScreen::instance()->stopLock();
    view.close();
    if (QQuickItem *root = rootObject(view))
        QMetaObject::invokeMethod(root, "closeQML");
    logInfo(QStringLiteral("qpp->qml:complete app quit"));
}

} // namespace

void initResources() { ::initCoreResources(); }

void shapeMainView(QQuickView &view)
{
    view.setFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowCloseButtonHint);
    view.setColor(QColor(QStringLiteral("transparent")));
    view.setTitle(QStringLiteral("Lumira"));
    view.setObjectName(QStringLiteral("root"));
    // The content follows the window, drawn at the screen's zoom factor.
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.rootContext()->setContextProperty(
        QStringLiteral("cppWindowZoom"), new WindowZoom(&view, QSize(1280, 720), &view));
}

int runApplication(int argc, char **argv)
{
    initResources();
    // 1
    QElapsedTimer startTimer;
    startTimer.start();
    platform::setProcessDpiAware();
    // Qt takes the first thread that asks for its thread data as its main
    // thread: this one, not the reader started below.
    QThread::currentThread();
    // Read while the application object is made: the update check at 13 is
    // the first request and would wait for them.
    if (!HttpTls::fromBuild().extraCaFile.isEmpty())
        HttpMsg::prefetchSystemRoots();

    // 2: before DirHelper, whose default root depends on these names
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(build::kOrgDomain));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));

    // 3
    const QString logFile = logFilePath();
    TSpdlog::create(logFile, logFile);
    // Loggers live for the process; early exits must not lose buffered lines.
    struct FlushLogs {
        ~FlushLogs() { TSpdlog::flushAll(); }
    } flushLogsOnReturn;

    // 4
    const QString started = QStringLiteral("LumiraAPP启动,version:") + QString::fromLatin1(build::kVersion)
        + QStringLiteral(" id:") + QString::fromLatin1(build::kBuildId);
    logInfo(started);
    TSpdlog::instance(QStringLiteral("systemStatus"))->otherInfo(started);

    // 5
    logInfo(QStringLiteral("启动：设置GPU选项"));
    LMRConfig *config = LMRConfig::instance();
    StartupArguments args(argc, argv);
    applyGraphicsSwitches({ config->getWebGPURasterization(), config->getWebIgnoreBlacklist(), config->getQMLRender(),
                              config->getHardwareAcceleration() },
        args);

    // 6
    logInfo(QStringLiteral("启动：创建程序实例"));
    QCefApp::prepareProcess();
    auto app = std::make_unique<QApplication>(args.argc(), args.argv());
    QApplication::setQuitOnLastWindowClosed(true);
    platform::installTerminationHandler(app.get(), []() { QCoreApplication::quit(); });

    // 7, 8
    registerFonts();
    logInfo(QStringLiteral("启动：设置全局字体"));
    auto font = std::make_unique<QFont>(QApplication::font());
    font->setFamily(QStringLiteral("黑体"));
    QApplication::setFont(*font);

    // 9
    logInfo(QStringLiteral("启动：加载翻译文件"));
    QTranslator translator;
    const QString qmPath = DirHelper::instance()->getAppPath() + QStringLiteral("/lang_Chinese.qm");
    if (translator.load(qmPath))
        QCoreApplication::installTranslator(&translator);
    else
        TSpdlog::instance()->otherError(QStringLiteral("translator error") + qmPath);

    // 10
    SingleInstance instance;
    if (!instance.tryLock()) {
        TSpdlog::instance()->otherWarn(QStringLiteral("启动：已启动了客户端"));
        showBox(0, tr("lumira app already running!"));
        platform::bringRunningInstanceForward(instance.channelName());
        return 0;
    }
    instance.listen();

    // 11
    sweep("lumira_lock");

    // 12: the recorder registers itself when it is created (21).
    logInfo(QStringLiteral("启动：注册OSS回调"));
    LMRAosController::instance()->registerReceiver(ScreenshotController::instance());
    LMRAosController::instance()->registerReceiver(TSpdlogUpload::instance());
    LMRAosController::instance()->registerReceiver(LMRUpdate::instance());

    // 13
    logInfo(QStringLiteral("启动：检查软件更新"));
    // The page's cache version, for 16: asked now, answered beside the check.
    const CacheHousekeeping::GuidFetcher pageGuid = CacheHousekeeping::askGuid(config->getMainUrl());
    if (LMRUpdate::instance()->checkAtStartup() == LMRUpdate::kResultInstall)
        return 1; // the installer runs; it replaces this program

    // 14
    logInfo(QStringLiteral("启动：显示启动中动画"));
    auto loading = std::make_unique<LoadingDialog>();
    loading->show();

    // 15
    logInfo(QStringLiteral("启动：可用内存检测"));
    const quint64 availMB = quint64(qMax<qint64>(0, SystemReport::instance()->availablePhysicalMB()));
    if (isAvailableMemoryTooLow(availMB)) {
        loading->close();
        TSpdlog::instance()->otherWarn(QStringLiteral("启动：可用内存小于512MB"));
        showBox(1,
            tr("The available memory of your current device is too low, it is recommended to close other "
               "software to avoid affecting the class experience!"));
        TSpdlog::flushAll();
        std::_Exit(0);
    }
    qCDebug(lcStartup) << "avaliMem" << availMB;

    // 16
    logInfo(QStringLiteral("启动：清理H5缓存"));
    CacheHousekeeping::run(*config, *DirHelper::instance(), pageGuid);

    // 17
    logInfo(QStringLiteral("启动：初始化qml对象"));
    auto view = std::make_unique<QQuickView>();
    QObject::connect(
        view.get(), &QQuickWindow::sceneGraphInitialized, view.get(),
        []() { logInfo(QStringLiteral("启动：qml对象启动成功")); }, Qt::DirectConnection);
    shapeMainView(*view);
    QQmlContext *context = view->rootContext();
    context->setContextProperty(QStringLiteral("cppWindow"), view.get());
    context->setContextProperty(QStringLiteral("LMRcppWindow"), app.get());

    // 18
    if (config->getQMLRender() != QLatin1String("SOFT") && !openGlUsable(*view)) {
        TSpdlog::instance()->otherError(QStringLiteral("启动：检测到opengl失败，切换软件模拟"));
        config->setQMLRender(QStringLiteral("SOFT"));
        loading->close();
        showBox(0, tr("Initialization failed and auto fixed\nPlease restart the client!"));
        return 0;
    }

    // 19
    logInfo(QStringLiteral("启动：初始化崩溃捕获"));
    sentry_options_t *options = sentry_options_new();
    const QByteArray handlerPath = QDir(QCoreApplication::applicationDirPath())
                                       .filePath(platform::executableFileName(QStringLiteral("crashpad_handler")))
                                       .toLocal8Bit();
    const QByteArray databasePath = DirHelper::instance()->dumpPath().toLocal8Bit();
    sentry_options_set_handler_path(options, handlerPath.constData());
    sentry_options_set_database_path(options, databasePath.constData());
    sentry_init(options);

    // 20
    logInfo(QStringLiteral("启动：初始化A声道"));
    auto *iliveEngine = new LMRILive(app.get()); // lives as long as the application
    context->setContextProperty(QStringLiteral("iliveEngine"), iliveEngine);
    logInfo(QStringLiteral("启动：初始化B声道"));
    auto *agoraEngine = new LMRAgora(app.get()); // lives as long as the application
    context->setContextProperty(QStringLiteral("agoraEngine"), agoraEngine);
    logInfo(QStringLiteral("启动：初始化C声道"));
    // Loads the LiteAV library; without it (or its entry points) the process ends here.
    auto *trtcEngine = new LMRTRtc(app.get());
    context->setContextProperty(QStringLiteral("trtcEngine"), trtcEngine);
    // The engines run on SDK stand-ins. Their room's control lets a page inject
    // SDK failures, so only development builds publish it.
    if (lumira::build::kDevSimRoom)
        context->setContextProperty(QStringLiteral("cppSimRoom"), new SimRoomControl(app.get()));
    logInfo(QStringLiteral("启动：初始化D声道"));
    auto *zgRtcEngine = new LMRZgRtc(app.get()); // lives as long as the application
    context->setContextProperty(QStringLiteral("zgRtcEngine"), zgRtcEngine);

    // 21
    logInfo(QStringLiteral("启动：初始化音频录制"));
    std::unique_ptr<AudioDataDispatcherController> recorder = AudioDataDispatcherController::createProcessRecorder();
    // The frames are taken on the SDK thread, without a stop on the GUI thread.
    QObject::connect(agoraEngine, &LMRAgora::micFrame, recorder->micSink());
    QObject::connect(agoraEngine, &LMRAgora::spkFrame, recorder->speakerSink());
    QObject::connect(iliveEngine, &LMRILive::micFrame, recorder->micSink());
    QObject::connect(iliveEngine, &LMRILive::spkFrame, recorder->speakerSink());
    QObject::connect(trtcEngine, &LMRTRtc::micFrame, recorder->micSink());
    QObject::connect(trtcEngine, &LMRTRtc::spkFrame, recorder->speakerSink());
    QObject::connect(zgRtcEngine, &LMRZgRtc::micFrame, recorder->micSink());
    QObject::connect(zgRtcEngine, &LMRZgRtc::spkFrame, recorder->speakerSink());
    context->setContextProperty(QStringLiteral("recordDispatcher"), recorder.get());

    // 22
    logInfo(QStringLiteral("启动：向QML中注册C++组件"));
    registerMediaTypes();
    registerWebTypes();
    registerDeviceTypes();
    registerUpdateTypes();
    context->setContextProperty(QStringLiteral("cppLog"), TSpdlog::instance());
    auto nativeEvent = std::make_unique<NativeEvent>(); // a widget: goes before the application
    app->installNativeEventFilter(nativeEvent.get());
    context->setContextProperty(QStringLiteral("cppEvent"), nativeEvent.get());
    context->setContextProperty(QStringLiteral("cppTool"), Tools::instance());
    context->setContextProperty(QStringLiteral("cppNotify"), QMLNotify::instance());
    context->setContextProperty(QStringLiteral("cppConfigFile"), config);
    context->setContextProperty(QStringLiteral("cppDir"), DirHelper::instance());
    context->setContextProperty(QStringLiteral("cppGenerate"), BCDevice::instance()->generateImage());
    context->setContextProperty(QStringLiteral("cppLockScreen"), LockScreen::instance());
    context->setContextProperty(QStringLiteral("cppMicBoost"), new MicBoost(app.get()));

    // 23
    logInfo(QStringLiteral("启动：上传启动日记"));
    TSpdlogUpload::instance()->uploadLogZip();

    // 24
    logInfo(QStringLiteral("启动：开始网络测试"));
    emit NetworkTestController::instance()->startPingSignal();

    // 25
    logInfo(QStringLiteral("启动：初始化麦克风、扬声器、摄像头设备"));
    // One enumeration for the three kinds rather than one per default choice.
    BCDevice::instance()->setStartupDefaults();

    // 26
    logInfo(QStringLiteral("启动：给锁屏类窗口句柄"));
    LockScreen::instance()->setMainView(view.get());

    // 27
    auto cefView = std::make_unique<QCefView>();
    context->setContextProperty(QStringLiteral("cppCef"), cefView.get());

    // 28
    logInfo(QStringLiteral("启动：加载qml"));
    view->setSource(QUrl(QStringLiteral("qrc:/lmr_controls/LMRMainView.qml")));
    if (view->status() == QQuickView::Error) {
        for (const QQmlError &error : view->errors())
            TSpdlog::instance()->otherError(error.toString());
    }

    // 29
    logInfo(QStringLiteral("启动：初始化cef"));
    auto cefApp = std::make_unique<QCefApp>(view->engine());
    if (cefApp->initialize() >= 0) {
        TSpdlog::instance()->otherError(QStringLiteral("启动：初始化cef失败"));
        loading->close();
        showBox(0, tr("lumira app startup failure!"));
        return 0;
    }

    // 30
    QQuickItem *rootCef
        = view->rootObject() ? view->rootObject()->findChild<QQuickItem *>(QStringLiteral("root_cef")) : nullptr;
    if (!rootCef)
        TSpdlog::instance()->otherError(QStringLiteral("root_cef not found"));
    QCefClient *mainClient = cefApp->createBrowser(nullptr, QStringLiteral("QCefView"), false, config->getMainUrl(),
        rootCef ? int(rootCef->width()) : 0, rootCef ? int(rootCef->height()) : 0);
    cefView->init(mainClient, rootCef, cefApp.get());

    // 31
    view->show();
    loading->close();

    // 32
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, view.get(), [&view]() { onAboutToQuit(*view); });
    QObject::connect(app.get(), &QGuiApplication::focusWindowChanged, view.get(),
        [&view](QWindow *window) { onFocusWindowChanged(*view, window); });

    // 33
    logInfo(QStringLiteral("L_M_R_S") + QStringLiteral(" ") + QStringLiteral("app_start_time") + QStringLiteral(" ")
        + QString::number(startTimer.elapsed()));
    logInfo(QStringLiteral("启动：启动完成"));

    // 34
    const int result = QApplication::exec();

    // 35
    sentry_shutdown();
    sweep("lumira_lock");
    sweep("lumira_render");
    sweep("lumira_app");
    // Browser views belong to the view's QML engine and go before it.
    cefApp.reset();
    view.reset();
    nativeEvent.reset();
    loading.reset();
    font.reset();
    app.reset();
    return result;
}

} // namespace lumira

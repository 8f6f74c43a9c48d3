// Milliseconds from the start of main() to a shown window: the floors against
// which the client's "app_start_time" is read.
//   bare_view_start_time: a QQuickView with one rectangle.
//   web_view_start_time: what the client cannot do without: Qt WebEngine
//     initialised before the application object, a QApplication, a frameless
//     QQuickView and a WebEngineView made from a QML component in the view's
//     engine on a local page, the default profile on a data folder of its own;
//     the window is shown as the client shows it (before the page has loaded).
// One figure per run; "--web" picks the second.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtWebEngine/QQuickWebEngineProfile>
#include <QtWebEngine/QtWebEngine>

#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

namespace
{

int bareView(int argc, char **argv, const QElapsedTimer &timer)
{
    QGuiApplication app(argc, argv);
    QQuickView view;
    view.setSource(QUrl(QStringLiteral("data:text/plain,")));
    view.setFlags(Qt::FramelessWindowHint);
    view.resize(1280, 720);
    view.setColor(Qt::white);
    view.show();
    std::printf("bare_view_start_time %lld\n", static_cast<long long>(timer.elapsed()));
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}

int webView(int argc, char **argv, const QElapsedTimer &timer)
{
    // As the client prepares the process: Chromium's sandbox cannot run as root.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
    QtWebEngine::initialize();
    QApplication app(argc, argv);
    QTemporaryDir data;
    const QString page = data.path() + QStringLiteral("/index.html");
    QFile file(page);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write("<!doctype html><html><body><h1>Lesson</h1></body></html>");
    file.close();

    QQuickView view;
    view.setFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint
        | Qt::WindowCloseButtonHint);
    view.setColor(Qt::transparent);
    view.setTitle(QStringLiteral("Lumira"));
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setSource(QUrl(QStringLiteral("data:text/plain,")));
    view.resize(1280, 720);

    QQuickWebEngineProfile *profile = QQuickWebEngineProfile::defaultProfile();
    profile->setPersistentStoragePath(data.path() + QStringLiteral("/cefCache"));
    profile->setCachePath(data.path() + QStringLiteral("/cefCache/Cache"));

    QQmlComponent component(view.engine());
    component.setData("import QtQuick 2.12\nimport QtWebEngine 1.10\nWebEngineView { width: 1280; height: 720 }\n",
        QUrl::fromLocalFile(data.path() + QStringLiteral("/Browser.qml")));
    std::unique_ptr<QObject> object(component.beginCreate(view.engine()->rootContext()));
    auto *browser = qobject_cast<QQuickItem *>(object.get());
    if (!browser) {
        std::fprintf(stderr, "%s\n", qPrintable(component.errorString()));
        component.completeCreate();
        return 1;
    }
    browser->setProperty("url", QUrl::fromLocalFile(page));
    component.completeCreate();
    browser->setParentItem(view.contentItem());
    view.show();
    std::printf("web_view_start_time %lld\n", static_cast<long long>(timer.elapsed()));
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    const int result = app.exec();
    object.reset();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer timer;
    timer.start();
    const bool web = argc > 1 && std::strcmp(argv[1], "--web") == 0;
    return web ? webView(argc, argv, timer) : bareView(argc, argv, timer);
}

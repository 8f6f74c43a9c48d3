// Milliseconds from the start of main() to a bare QQuickView shown with one
// rectangle: the floor against which the client's "app_start_time" is read.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickView>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QElapsedTimer timer;
    timer.start();
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

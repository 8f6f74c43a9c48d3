// A client that locks the desktop and waits to be killed: the lock screen
// tests end it with SIGKILL while locked. It prints "locked" once the lock is
// in place.
#include "app/AppStartup.h"
#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "ui/LockScreen.h"

#include <QApplication>
#include <QQuickView>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QApplication app(argc, argv);
    const QString log = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_lock_child.log");
    TSpdlog::create(log, log);
    QQuickView view;
    lumira::shapeMainView(view); // the client's flags, name and zoom
    view.resize(640, 360);
    view.show();
    LockScreen::instance()->setMainView(&view);
    LockScreen::instance()->startLock();
    std::printf("locked\n");
    std::fflush(stdout);
    return app.exec();
}

#include "app/AppStartup.h"
#include "ui/Tools.h"

#include <QProcess>
#include <QStringList>

int main(int argc, char *argv[])
{
    // The arguments as given: start-up appends its own switches to what the
    // application object sees, and a restarted process adds them again.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const int result = lumira::runApplication(argc, argv);
    const QString restart = Tools::restartProgram();
    if (!restart.isEmpty())
        QProcess::startDetached(restart, arguments);
    return result;
}

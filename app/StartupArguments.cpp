#include "app/StartupArguments.h"

#include <QCoreApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QStringList>

StartupArguments::StartupArguments(int argc, char **argv)
{
    m_storage.reserve(static_cast<size_t>(argc) + 4);
    for (int i = 0; i < argc; ++i)
        m_storage.emplace_back(argv[i]);
    rebuildPointers();
}

// Growing the storage moves the QByteArrays; every pointer is taken afresh.
void StartupArguments::rebuildPointers()
{
    m_pointers.clear();
    for (QByteArray &s : m_storage)
        m_pointers.push_back(s.data());
    m_pointers.push_back(nullptr);
    m_argc = static_cast<int>(m_storage.size());
}

void StartupArguments::append(const QByteArray &argument)
{
    m_storage.push_back(argument);
    rebuildPointers();
}

QStringList StartupArguments::toStringList() const
{
    QStringList out;
    for (const QByteArray &s : m_storage)
        out << QString::fromLocal8Bit(s);
    return out;
}

void applyGraphicsSwitches(const GraphicsSwitches &switches, StartupArguments &args)
{
    if (switches.gpuRasterization)
        args.append("--enable-gpu-rasterization");
    if (switches.ignoreGpuBlacklist)
        args.append("--ignore-gpu-blacklist");

    if (switches.qmlRender == QLatin1String("GL")) {
        QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL);
    } else if (switches.qmlRender == QLatin1String("GLES")) {
        QCoreApplication::setAttribute(Qt::AA_UseOpenGLES);
    } else if (switches.qmlRender == QLatin1String("SOFT")) {
        QCoreApplication::setAttribute(Qt::AA_UseSoftwareOpenGL);
#ifndef Q_OS_WIN
        // The attribute only picks opengl32sw on Windows. Here SOFT means Mesa's
        // software rasteriser for what needs GL, and Qt Quick's own software
        // renderer for the window, which works with no GL at all.
        qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
#endif
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, switches.hardwareAcceleration);
}

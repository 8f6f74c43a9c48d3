#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The argument vector the application object (and later the browser runtime)
// is built from: the program's argv plus the graphics switches from settings.
// Owns the strings; lives until main returns.
class StartupArguments
{
public:
    StartupArguments(int argc, char **argv);

    void append(const QByteArray &argument);
    int &argc() { return m_argc; }
    char **argv() { return m_pointers.data(); }
    QStringList toStringList() const;

private:
    void rebuildPointers();

    std::vector<QByteArray> m_storage;
    std::vector<char *> m_pointers; // null-terminated, as argv is
    int m_argc = 0;
};

struct GraphicsSwitches {
    bool gpuRasterization = false;
    bool ignoreGpuBlacklist = false;
    QString qmlRender;
    bool hardwareAcceleration = true;
};

// Appends the browser switches and sets the OpenGL application attributes;
// must run before the application object exists.
void applyGraphicsSwitches(const GraphicsSwitches &switches, StartupArguments &args);

// The low-memory rule of start-up: a known figure below 512 MB refuses to start.
inline bool isAvailableMemoryTooLow(quint64 availableMB) { return availableMB > 0 && availableMB < 512; }

#pragma once
#include <QString>

namespace lumira::platform
{

// Turns a QML file URL into a local path by removing every "file:///". On Unix
// the third slash is the start of the absolute path, so only "file://" goes.
inline QString stripFileUrlPrefix(QString path)
{
#ifdef Q_OS_WIN
    path.remove(QStringLiteral("file:///"));
#else
    path.remove(QStringLiteral("file://"));
#endif
    return path;
}

} // namespace lumira::platform

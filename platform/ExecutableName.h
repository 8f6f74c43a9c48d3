#pragma once
#include <QString>

namespace lumira::platform
{

// Companion programs are named without extension in the code; Windows adds ".exe".
inline QString executableFileName(const QString &base)
{
#ifdef Q_OS_WIN
    return base + QStringLiteral(".exe");
#else
    return base;
#endif
}

} // namespace lumira::platform

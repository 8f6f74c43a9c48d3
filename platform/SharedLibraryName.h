#pragma once
#include <QString>

namespace lumira::platform
{

// A shared library's file name from its base name, as the platform's linker
// names it: "liteav" is "liteav.dll" on Windows and "libliteav.so" on Linux.
inline QString sharedLibraryFileName(const QString &base)
{
#if defined(Q_OS_WIN)
    return base + QStringLiteral(".dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("lib") + base + QStringLiteral(".dylib");
#else
    return QStringLiteral("lib") + base + QStringLiteral(".so");
#endif
}

} // namespace lumira::platform

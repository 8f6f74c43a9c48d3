#pragma once
// The usual main() of a GoogleTest program on a QCoreApplication, after
// testenv::enterSandbox(): the client's names (so DirHelper lays out the
// same folders), one log file, and the log as the tests read it back.
#include "app/DirHelper.h"
#include "app/TSpdlog.h"

#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace testenv
{

inline QString &programLogPath()
{
    static QString path;
    return path;
}

// The program's log as it is on disk, with everything buffered written out.
inline QString logText()
{
    TSpdlog::flushAll();
    QFile file(programLogPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// `filter` is the default test filter; the command line still overrides it.
inline int runGoogleTests(int argc, char **argv, const char *logName, const char *filter = nullptr)
{
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QCoreApplication app(argc, argv);
    programLogPath() = DirHelper::instance()->logPath() + QLatin1Char('/') + QLatin1String(logName);
    TSpdlog::create(programLogPath(), programLogPath());
    if (filter)
        ::testing::GTEST_FLAG(filter) = filter;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace testenv

// Directories, settings, logging and start-up rules on real files in a sandboxed HOME.
#include "TestEnv.h"

#include "BuildConfig.h"
#include "app/CacheHousekeeping.h"
#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/StartupArguments.h"
#include "app/TSpdlog.h"
#include "platform/MemoryInfo.h"
#include "platform/ProcessTable.h"
#include "ui/Tools_QWidget.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QSettings rootStore() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, "kestrelon", "lumira"); }

TEST(DirHelper, FirstStartStoresPlatformDefaultAndCreatesTree)
{
    rootStore().remove("LMR_APP_DATA");
    DirHelper dirs;
    const QString expected = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    EXPECT_EQ(dirs.getAppData(), expected);
    EXPECT_EQ(rootStore().value("LMR_APP_DATA").toString(), expected);
    for (const QString &p :
        { dirs.logPath(), dirs.logPathWithMedia(), dirs.logPathWithTRtc(), dirs.logPathWithAgora(), dirs.configPath(),
            dirs.recordPath(), dirs.dumpPath(), dirs.dbPath(), dirs.downloadPath(), dirs.cefCachePath() })
        EXPECT_TRUE(QDir(p).exists()) << p.toStdString();
    EXPECT_FALSE(QDir(dirs.updatePath()).exists()) << "update/ is made by whoever writes there";
}

TEST(DirHelper, ChangeDirPathMovesEveryGetterAndStores)
{
    EXPECT_TRUE(DirHelper::rootForPickedFolder(QString("/tmp/a") + QChar(0x9fa5)).isEmpty());
    // Outside U+4E00..U+9FA5: accepted.
    EXPECT_EQ(DirHelper::rootForPickedFolder(QString("/tmp/k") + QChar(0x3042)),
        QString("/tmp/k") + QChar(0x3042) + "/lumira");
    DirHelper dirs;
    const QString picked = testenv::sandboxRoot() + "/picked";
    QDir().mkpath(picked);
    ASSERT_TRUE(dirs.changeDirPath("file://" + picked));
    EXPECT_EQ(dirs.getCurrentDirPath(), picked + "/lumira");
    EXPECT_EQ(dirs.recordPath(), picked + "/lumira/record");
    EXPECT_TRUE(QDir(picked + "/lumira/log/media").exists());
    EXPECT_EQ(rootStore().value("LMR_APP_DATA").toString(), picked + "/lumira");

    // The same folder again: true, and the store is not written.
    rootStore().setValue("LMR_APP_DATA", "marker");
    EXPECT_TRUE(dirs.changeDirPath(picked));
    EXPECT_EQ(rootStore().value("LMR_APP_DATA").toString(), "marker");

    EXPECT_FALSE(dirs.changeDirPath(picked + "/中文"));
    EXPECT_EQ(dirs.getAppData(), picked + "/lumira");

    dirs.resetMainPath();
    EXPECT_EQ(dirs.getAppData(), QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    EXPECT_EQ(rootStore().value("LMR_APP_DATA").toString(), dirs.getAppData());
}

// Refused before anything is stored, so the next start still finds a usable root.
TEST(DirHelper, UnusableFoldersAreRefusedAndAnEmptyStoreIsUnset)
{
    DirHelper dirs;
    const QString before = dirs.getAppData();
    const QString stored = rootStore().value("LMR_APP_DATA").toString();

    const QString readOnly = testenv::sandboxRoot() + "/read-only";
    QDir().mkpath(readOnly);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const bool permissionsBite = !QTemporaryFile(readOnly + "/x-XXXXXX").open(); // not as root
    for (const QString &picked : { QStringLiteral("/proc/lumira-cannot-exist"), readOnly }) {
        if (picked == readOnly && !permissionsBite)
            continue;
        EXPECT_FALSE(dirs.changeDirPath(picked)) << picked.toStdString();
        EXPECT_EQ(dirs.getAppData(), before);
        EXPECT_EQ(rootStore().value("LMR_APP_DATA").toString(), stored);
    }
    // A file where the root's "record" folder must go.
    const QString blocked = testenv::sandboxRoot() + "/blocked";
    QDir().mkpath(blocked + "/lumira");
    QFile(blocked + "/lumira/record").open(QIODevice::WriteOnly);
    EXPECT_FALSE(dirs.changeDirPath(blocked));
    EXPECT_EQ(rootStore().value("LMR_APP_DATA").toString(), stored);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    rootStore().setValue("LMR_APP_DATA", "  ");
    DirHelper fresh;
    EXPECT_EQ(fresh.getAppData(), QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    EXPECT_EQ(rootStore().value("LMR_APP_DATA").toString(), fresh.getAppData());
}

class Config : public ::testing::Test
{
protected:
    QTemporaryDir dir { testenv::sandboxRoot() + "/cfg-XXXXXX" };
    QString ini() const { return dir.path() + "/config.ini"; }
};

TEST_F(Config, FirstStartWritesDefaultsOnceAndKeepsThem)
{
    {
        LMRConfig config(ini());
        config.setMicVolumeScale("1.7");
        config.setUserID("42");
    }
    QSettings raw(ini(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Init/IsInit").toString(), "true");
    EXPECT_EQ(raw.value("Init/Version").toString(), "5.0.6");
    EXPECT_FALSE(raw.contains("Browser/Reset"));
    EXPECT_FALSE(raw.contains("Init/QMLRender"));

    LMRConfig again(ini());
    EXPECT_EQ(again.getMicVolumeScale(), "1.7");
    EXPECT_EQ(again.getUserID(), "42");
}

TEST_F(Config, VersionChangeResetsAddressesAndDevicesKeepsPreferences)
{
    {
        LMRConfig config(ini());
        config.setCameraIndex(2);
        config.setMicId("mic-7");
        config.setSpeakerName("Speakers");
        config.setClearBrowserStatus(false);
        config.setProtectedEye(true);
        config.setMainUrlMode(3);
        config.setH5Guid("abc");
    }
    {
        QSettings raw(ini(), QSettings::IniFormat);
        raw.setValue("Init/Version", "5.0.5");
        raw.setValue("Browser/MainUrl", "https://old.example/qt1");
        raw.setValue("Browser/Port", 1234);
    }
    LMRConfig config(ini());
    QSettings raw(ini(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Init/Version").toString(), "5.0.6");
    EXPECT_NE(raw.value("Browser/MainUrl").toString(), "https://old.example/qt1");
    EXPECT_EQ(config.getCameraIndex(), -1);
    EXPECT_EQ(config.getMicId(), "");
    EXPECT_EQ(config.getSpeakerName(), "");
    EXPECT_TRUE(config.getClearBrowserFlag());
    EXPECT_TRUE(config.getProtectedEye());
    EXPECT_EQ(config.getMainUrlMode(), 3);
    EXPECT_EQ(config.getH5Guid(), "abc");
}

TEST_F(Config, MainUrlModes)
{
    LMRConfig config(ini());
    QSettings raw(ini(), QSettings::IniFormat);
    raw.setValue("Browser/MainUrl", "https://wb.example.com/qt1?next=https_page");
    raw.setValue("Browser/CDNUrl", "https://cdn.example.net");
    raw.setValue("Browser/MainDebugUrl", "http://test.example.com/whiteboard-qt2/");
    raw.sync();

    const std::pair<int, const char *> cases[] = {
        { 1, "https://wb.example.com/qt1?next=https_page" },
        { 2, "https://cdn.example.net/qt1?next=https_page" },
        { 3, "http://wb.example.com/qt1?next=http_page" },
        { 4, "http://cdn.example.net/qt1?next=http_page" },
        { 9, "https://wb.example.com/qt1?next=https_page" },
    };
    for (const auto &[mode, expected] : cases) {
        config.setMainUrlMode(mode);
        EXPECT_EQ(config.getMainUrl().toStdString(), expected) << "mode " << mode;
    }
    raw.setValue("Browser/MainDebugUrlSwitch", "true");
    raw.sync();
    config.setMainUrlMode(2);
    EXPECT_EQ(config.getMainUrl(), "http://test.example.com/whiteboard-qt2/");
    EXPECT_EQ(config.getDebugGingUrl(), "http://127.0.0.1:40960");
}

// The CDN value replaces scheme and host only, so the lesson page's port survives.
TEST_F(Config, CdnModesWithDeploymentDefaults)
{
    LMRConfig config(ini());
    const QUrl main(QString::fromLatin1(lumira::build::kMainUrl));
    for (int mode : { 2, 4 }) {
        config.setMainUrlMode(mode);
        const QString url = config.getMainUrl();
        EXPECT_EQ(url.count(QStringLiteral("://")), 1) << url.toStdString();
        const QUrl parsed(url, QUrl::StrictMode);
        ASSERT_TRUE(parsed.isValid()) << url.toStdString();
        EXPECT_EQ(parsed.port(), main.port()) << url.toStdString();
        EXPECT_EQ(parsed.path(), main.path()) << url.toStdString();
        EXPECT_EQ(parsed.host(), QUrl(QString::fromLatin1(lumira::build::kCdnUrl)).host());
    }

    // A missing key reads as the CDN default, not as an empty text.
    QSettings raw(ini(), QSettings::IniFormat);
    raw.remove("Browser/CDNUrl");
    raw.setValue("Browser/MainUrl", "https://wb.example.com:8443/qt1?a=1");
    raw.sync();
    config.setMainUrlMode(2);
    EXPECT_EQ(config.getMainUrl(), QString::fromLatin1(lumira::build::kCdnUrl) + ":8443/qt1?a=1");
}

TEST_F(Config, SmallRules)
{
    LMRConfig config(ini());
    config.setMainUrlMode(7);
    config.addMainUrlMode();
    EXPECT_EQ(config.getMainUrlMode(), 1);
    config.addMainUrlMode();
    EXPECT_EQ(config.getMainUrlMode(), 2);

    EXPECT_EQ(config.getQMLRender(), "GL");
    config.setQMLRender("soft");
    EXPECT_EQ(config.getQMLRender(), "GL");
    config.setQMLRender("SOFT");
    EXPECT_EQ(config.getQMLRender(), "SOFT");

    EXPECT_EQ(config.existNecessaryDevice(), "NoMicNoSpeaker");
    config.setMicId("m");
    EXPECT_EQ(config.existNecessaryDevice(), "NoSpeaker");
    config.setSpeakerId("s");
    EXPECT_EQ(config.existNecessaryDevice(), "");
}

TEST_F(Config, CorruptOrUnreadableFileReadsAsDefaults)
{
    {
        QFile f(ini());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x00\xff[[[Browser\nMainUrlMode=abc\n=\n[DeviceTest]\nCameraIndex=notanumber\n", 60);
    }
    LMRConfig config(ini());
    EXPECT_EQ(config.getCameraIndex(), -1) << "first-start values replace the garbage";
    EXPECT_EQ(config.getVersion(), "5.0.6");

    const QString locked = dir.path() + "/locked.ini";
    {
        QFile f(locked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[DeviceTest]\nCameraIndex=3\n");
    }
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (QFile(locked).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with rights that ignore file permissions";
    LMRConfig unreadable(locked);
    EXPECT_EQ(unreadable.getMicIndex(), -1);
}

const QRegularExpression kLinePrefix(
    "^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\]\\[thread \\d+\\]\\[(info|warning|error)\\] : ");

TEST(TSpdlog, LineLayoutByteForByte)
{
    QTemporaryDir dir(testenv::sandboxRoot() + "/log-XXXXXX");
    const QString file = dir.path() + "/LMRApp_test.log";
    {
        TSpdlog log(file);
        ASSERT_TRUE(log.hasLogger());
        log.otherInfo("hello 世界");
        log.avWarn("two\nlines");
        log.avInfo("one\nline\n");
        log.netError("net down");
        log.uiClick("click\nkept");
        log.flush();
    }
    const QList<QByteArray> lines = readAll(file).split('\n');
    // Lines end with CR LF; a kept newline inside a message shows as a bare LF.
    ASSERT_GE(lines.size(), 7);
    auto check = [&](int i, const char *level, const QByteArray &body) {
        const QString line = QString::fromUtf8(lines.at(i));
        const auto m = kLinePrefix.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        EXPECT_EQ(m.captured(1), level);
        EXPECT_EQ(line.mid(m.capturedLength()).toUtf8(), body);
    };
    check(0, "info", " [Other_Type] hello 世界\r");
    check(1, "warning", " [AV_Type] two");
    EXPECT_EQ(lines.at(2), "lines\r");
    check(3, "info", " [AV_Type] oneline\r");
    check(4, "error", " [NET_Type] net down\r");
    check(5, "info", " [UI_Click] click");
    EXPECT_EQ(lines.at(6), "kept\r");
}

TEST(TSpdlog, FlushRulesAndAppend)
{
    QTemporaryDir dir(testenv::sandboxRoot() + "/log-XXXXXX");
    const QString file = dir.path() + "/a.log";
    TSpdlog log(file);
    log.otherInfo("buffered");
    EXPECT_FALSE(readAll(file).contains("buffered")) << "info lines wait for the periodic flush";
    log.otherError("urgent");
    EXPECT_TRUE(readAll(file).contains("urgent")) << "error lines flush at once";
    log.setInfoFlush();
    log.otherInfo("now visible");
    EXPECT_TRUE(readAll(file).contains("now visible"));
    log.setErrFlush();
    log.otherWarn("warn waits");
    EXPECT_FALSE(readAll(file).contains("warn waits"));
    log.flush();
    EXPECT_TRUE(readAll(file).contains("warn waits"));

    TSpdlog second(file); // same day, same file: appended, not truncated
    second.otherError("second");
    const QByteArray all = readAll(file);
    EXPECT_TRUE(all.contains("buffered"));
    EXPECT_TRUE(all.contains("second"));
}

TEST(TSpdlog, NamesUniqueRegistryAndFallback)
{
    QTemporaryDir dir(testenv::sandboxRoot() + "/log-XXXXXX");
    EXPECT_EQ(TSpdlog::instance(), TSpdlog::instance("systemStatus")) << "nothing registered: fallback";
    TSpdlog *fallback = TSpdlog::instance();

    TSpdlog a(dir.path() + "/x.log"), b(dir.path() + "/y.log");
    EXPECT_NE(a.loggerName(), b.loggerName());

    const QString main = dir.path() + "/main.log";
    ASSERT_TRUE(TSpdlog::create(main, main));
    EXPECT_FALSE(TSpdlog::create(main, main));
    TSpdlog *def = TSpdlog::instance();
    EXPECT_NE(def, fallback);
    EXPECT_EQ(TSpdlog::instance(main), def);
    EXPECT_EQ(TSpdlog::instance("unknown"), fallback);
}

TEST(TSpdlog, UnopenableDirectoryLogsToDebugOnly)
{
    const QString blocker = testenv::sandboxRoot() + "/not-a-dir";
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    TSpdlog log(blocker + "/sub/file.log");
    EXPECT_FALSE(log.hasLogger());
    log.otherError("goes to debug output only");
    log.flush();
    log.setInfoFlush();
}

TEST(TSpdlog, ConcurrentWritersKeepLinesWhole)
{
    QTemporaryDir dir(testenv::sandboxRoot() + "/log-XXXXXX");
    const QString file = dir.path() + "/mt.log";
    {
        TSpdlog log(file);
        QVector<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads << QThread::create([&log, t]() {
                for (int i = 0; i < 500; ++i)
                    log.avInfo(QString("t%1 line %2").arg(t).arg(i));
            });
            threads.last()->start();
        }
        for (QThread *t : threads) {
            t->wait();
            delete t;
        }
    }
    int count = 0;
    for (const QByteArray &l : readAll(file).split('\n')) {
        if (l.isEmpty())
            continue;
        ++count;
        EXPECT_TRUE(kLinePrefix.match(QString::fromUtf8(l)).hasMatch());
        EXPECT_TRUE(l.endsWith('\r'));
    }
    EXPECT_EQ(count, 2000);
}

TEST(StartupRules, ZoomTable)
{
    const struct {
        int ratio, dpi;
        double zoom;
    } cases[] = { { 1, 96, 1.0 }, { 1, 97, 1.25 }, { 1, 120, 1.25 }, { 1, 121, 1.5 }, { 1, 144, 1.5 }, { 1, 168, 1.75 },
        { 1, 169, 2.0 }, { 2, 72, 1.5 }, { 2, 84, 1.75 }, { 2, 96, 2.0 }, { 3, 96, 1.0 }, { 0, 300, 1.0 } };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(Tools_QWidget::zoomFactor(c.ratio, c.dpi), c.zoom) << c.ratio << "/" << c.dpi;
}

TEST(StartupRules, LowMemoryBoundaries)
{
    EXPECT_FALSE(isAvailableMemoryTooLow(0));
    EXPECT_TRUE(isAvailableMemoryTooLow(511));
    EXPECT_FALSE(isAvailableMemoryTooLow(512));
    lumira::platform::MemoryStatus status;
    ASSERT_TRUE(lumira::platform::memoryStatus(status));
    EXPECT_GT(status.totalPhysBytes, 0u);
    EXPECT_LE(status.availPhysBytes, status.totalPhysBytes);
    EXPECT_GT(lumira::platform::processWorkingSet(lumira::platform::currentProcessId()), 1024u * 1024u);
}

TEST(StartupRules, ArgumentVectorGetsSwitches)
{
    char a0[] = "lumira_app", a1[] = "--x";
    char *argv[] = { a0, a1, nullptr };
    StartupArguments args(2, argv);
    applyGraphicsSwitches({ true, true, "none", true }, args);
    EXPECT_EQ(args.toStringList(),
        QStringList({ "lumira_app", "--x", "--enable-gpu-rasterization", "--ignore-gpu-blacklist" }));
    EXPECT_STREQ(args.argv()[3], "--ignore-gpu-blacklist");
    EXPECT_EQ(args.argv()[4], nullptr);
}

TEST(StartupRules, CacheHousekeepingByGuid)
{
    DirHelper dirs;
    QTemporaryDir cfg(testenv::sandboxRoot() + "/cfg-XXXXXX");
    LMRConfig config(cfg.path() + "/config.ini");
    config.setClearBrowserStatus(false);
    const QString cache = dirs.cefCachePath() + "/Cache";
    QDir().mkpath(cache);
    QFile(cache + "/entry").open(QIODevice::WriteOnly);

    config.setH5Guid("build-1");
    CacheHousekeeping::run(config, dirs, [] { return QString("build-1"); });
    EXPECT_TRUE(QFile::exists(cache + "/entry")) << "same guid leaves the cache alone";

    CacheHousekeeping::run(config, dirs, [] { return QString("build-2"); });
    EXPECT_FALSE(QDir(cache).exists());
    EXPECT_EQ(config.getH5Guid(), "build-2");

    QDir().mkpath(dirs.cefCachePath() + "/Profile");
    config.setClearBrowserStatus(true);
    CacheHousekeeping::run(config, dirs, [] { return QString("build-2"); });
    EXPECT_FALSE(QDir(dirs.cefCachePath()).exists());
    EXPECT_FALSE(config.getClearBrowserFlag());
}

} // namespace

int main(int argc, char **argv)
{
    testenv::enterSandbox("shell");
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("kestrelon");
    QCoreApplication::setApplicationName("lumira");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

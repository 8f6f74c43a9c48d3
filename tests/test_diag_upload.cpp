// Diagnostics that upload: the log archive (its content, its key, and the
// object in the development store downloaded and unzipped) and the
// screenshot of the real X screen, decoded back.
#include "DiagTestSupport.h"
#include "OssTestSupport.h"

#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "diag/ScreenshotController.h"
#include "diag/TSpdlogUpload.h"
#include "diag/TimeSetting.h"
#include "net/LMRAosController.h"
#include "web/LMRUserInfo.h"
#include "web/QMLNotify.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>

#include <JlCompress.h>
#include <gtest/gtest.h>

using namespace diagtest;
using testenv::waitUntil;

namespace
{

// Today's and yesterday's logs, a media log, settings and a database.
void writeLogsOfTwoDays()
{
    DirHelper *dirs = DirHelper::instance();
    const QDate today = QDate::currentDate();
    const QString compact = today.toString("yyyyMMdd");
    writeText(dirs->logPath() + "/LMRApp_" + compact + ".log", "today\n");
    writeText(dirs->logPath() + "/LMRApp_" + today.addDays(-1).toString("yyyyMMdd") + ".log", "yesterday\n");
    writeText(dirs->logPath() + "/web/h5_" + today.toString("yyyy-MM-dd") + ".txt", "page\n");
    writeText(dirs->logPathWithMedia() + "/agora_" + compact + ".log", "media\n");
    writeText(dirs->dbPath() + "/lumiraRecordSql.db", "db\n");
    LMRConfig::instance()->setUserID(QStringLiteral("123"));
}

// Every file below `dir`, relative to it.
QStringList filesBelow(const QString &dir)
{
    QStringList files;
    for (const QString &path : osstest::filesNamed(dir, QString()))
        files << QDir(dir).relativeFilePath(path);
    files.sort();
    return files;
}

} // namespace

TEST(LogUpload, ObjectKeyAndNothingForUserZero)
{
    EXPECT_EQ(TSpdlogUpload::objectKey(QDate(2024, 5, 6), "123"), "lumiraLogs/2024-05-06/123_5.0.6.zip");

    LMRAosController aos(LMRAosSettings::fromBuild());
    int clockAsked = 0;
    TSpdlogUpload upload(&aos, [&]() -> TimeSetting * {
        ++clockAsked;
        return nullptr;
    });
    LMRConfig::instance()->setUserID(QStringLiteral("0"));
    upload.uploadLogZip();
    EXPECT_EQ(clockAsked, 0);
    EXPECT_EQ(aos.runningWorkers(), 0);
    EXPECT_FALSE(QFileInfo::exists(DirHelper::instance()->getAppData() + "/0"));
    // A hand-edited id that would name another folder is refused.
    LMRConfig::instance()->setUserID(QStringLiteral("../.."));
    upload.uploadLogZip();
    EXPECT_EQ(clockAsked, 0);
    EXPECT_EQ(linesContaining(programLines(), "log upload refused: user id is not a plain name: ../.."), 1);
    LMRConfig::instance()->setUserID(QStringLiteral("0"));
}

TEST(LogUpload, ArchiveHoldsTodaysLogsSettingsAndDatabaseOnly)
{
    writeLogsOfTwoDays();
    LMRAosController aos(LMRAosSettings::fromBuild());
    TSpdlogUpload upload(&aos, [] { return nullptr; });
    const QString zip = upload.createLogZip("123", false);
    ASSERT_FALSE(zip.isEmpty());
    EXPECT_EQ(zip, DirHelper::instance()->getAppData() + "/123/123.zip");
    const QString out = testenv::sandboxRoot() + "/unzipped-content";
    JlCompress::extractDir(zip, out);
    const QString today = QDate::currentDate().toString("yyyyMMdd");
    const QStringList files = filesBelow(out);
    EXPECT_TRUE(files.contains("LMRApp_" + today + ".log")) << files.join(' ').toStdString();
    EXPECT_TRUE(files.contains("web/h5_" + QDate::currentDate().toString("yyyy-MM-dd") + ".txt"));
    EXPECT_TRUE(files.contains("db/lumiraRecordSql.db"));
    EXPECT_TRUE(files.contains("config/config.ini"));
    for (const QString &file : files) {
        EXPECT_FALSE(file.contains("media")) << file.toStdString();
        EXPECT_FALSE(file.contains(QDate::currentDate().addDays(-1).toString("yyyyMMdd"))) << file.toStdString();
        EXPECT_FALSE(file.endsWith(".zip")) << file.toStdString();
        EXPECT_FALSE(file.startsWith("test/")) << file.toStdString();
    }
}

TEST(LogUpload, AnArchiveThatDoesNotVerifyIsNotUsed)
{
    const QString bad = testenv::sandboxRoot() + "/bad.zip";
    writeText(bad, "PK\x03\x04 not really a zip");
    EXPECT_FALSE(TSpdlogUpload::verifyZip(bad, testenv::sandboxRoot() + "/bad-check"));
    EXPECT_TRUE(hasLine(programLines(), "error", "log archive does not verify, not uploaded: " + bad));
    // A real archive cut short.
    writeLogsOfTwoDays();
    LMRAosController aos(LMRAosSettings::fromBuild());
    TSpdlogUpload upload(&aos, [] { return nullptr; });
    const QString zip = upload.createLogZip("123", false);
    ASSERT_FALSE(zip.isEmpty());
    const QByteArray whole = osstest::readFile(zip);
    const QString cut = osstest::writeFile("cut.zip", whole.left(whole.size() / 3));
    EXPECT_FALSE(TSpdlogUpload::verifyZip(cut, testenv::sandboxRoot() + "/cut-check"));
}

TEST(LogUpload, TheArchiveLandsInTheStoreUnderTheNetworkDate)
{
    TimeService service;
    ASSERT_TRUE(service.start());
    service.answer(0);
    writeLogsOfTwoDays();
    TimeSetting clock(QStringLiteral("127.0.0.1"), quint16(service.sntpPort));
    ASSERT_TRUE(clock.synced());
    LMRAosController aos(service.aosSettings());
    TSpdlogUpload upload(&aos, [&] { return &clock; });
    osstest::Receiver results;
    aos.registerReceiver(&results);
    aos.registerReceiver(&upload);
    upload.uploadLogZip();
    EXPECT_TRUE(upload.uploading());
    // Asked again while the first is on its way: it follows, it does not clash.
    upload.uploadLogZip();
    ASSERT_TRUE(waitUntil([&] { return results.effects.size() == 2 && aos.runningWorkers() == 0; }, 60000));
    const QString key = TSpdlogUpload::objectKey(clock.currentTime().date(), "123");
    for (const auto &effect : results.effects) {
        EXPECT_EQ(effect.first, TSpdlogUpload::kComId);
        EXPECT_TRUE(effect.second.endsWith("/" + key)) << effect.second.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(upload.zipDir())) << "staging folder removed after success";
    EXPECT_TRUE(hasLine(programLines(), "info", clock.status()));

    oss::OssClient client(service.ossEndpoint(), osstest::kKeyId, osstest::kSecret);
    const QString back = testenv::sandboxRoot() + "/downloaded.zip";
    ASSERT_TRUE(client.ResumableDownloadObject({ TSpdlogUpload::kBucket, key, back }).ok);
    const QString out = testenv::sandboxRoot() + "/unzipped-store";
    ASSERT_FALSE(JlCompress::extractDir(back, out).isEmpty());
    EXPECT_EQ(osstest::readFile(out + "/LMRApp_" + QDate::currentDate().toString("yyyyMMdd") + ".log"), "today\n");
    EXPECT_TRUE(QFileInfo::exists(out + "/config/config.ini"));

    // A store that refuses: the staging folder stays for a look.
    osstest::fault(service, "?route=oss&kind=500");
    upload.uploadLogZip();
    ASSERT_TRUE(waitUntil([&] { return results.effects.size() == 3 && aos.runningWorkers() == 0; }, 60000));
    EXPECT_TRUE(results.effects[2].second.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(upload.zipDir() + "/123.zip"));
    EXPECT_FALSE(upload.uploading());
    aos.unregisterReceiver(&upload);
    aos.unregisterReceiver(&results);
    LMRConfig::instance()->setUserID(QStringLiteral("0"));
}

TEST(Screenshot, ScreensSideBySideOnBlack)
{
    QImage first(1920, 1080, QImage::Format_RGB32);
    first.fill(Qt::red);
    QImage second(1280, 1024, QImage::Format_RGB32);
    second.fill(Qt::blue);
    const QImage picture = Screenshot::compose({ { first, 1.0 }, { second, 1.0 } });
    EXPECT_EQ(picture.size(), QSize(3200, 1080));
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(1919, 1079), QColor(Qt::red));
    EXPECT_EQ(picture.pixelColor(1920, 0), QColor(Qt::blue));
    EXPECT_EQ(picture.pixelColor(3199, 1023), QColor(Qt::blue));
    EXPECT_EQ(picture.pixelColor(1920, 1024), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(3199, 1079), QColor(Qt::black));
    // A screen at ratio 2 takes its device-independent size.
    QImage sharp(400, 200, QImage::Format_RGB32);
    sharp.fill(Qt::green);
    const QImage mixed = Screenshot::compose({ { first, 1.0 }, { sharp, 2.0 } });
    EXPECT_EQ(mixed.size(), QSize(2120, 1080));
    EXPECT_EQ(mixed.pixelColor(2119, 99), QColor(Qt::green));
    EXPECT_EQ(mixed.pixelColor(2119, 100), QColor(Qt::black));

    const QDateTime when = QDateTime::fromSecsSinceEpoch(1714960000, QTimeZone(8 * 3600));
    EXPECT_EQ(ScreenshotController::objectName(when, "class-1"),
        "pc-screenshot-image/" + when.date().toString("yyyy-MM-dd") + "/class-1/1714960000.jpeg");
    EXPECT_EQ(ScreenshotController::objectName(when, "../x/y"),
        "pc-screenshot-image/" + when.date().toString("yyyy-MM-dd") + "/.._x_y/1714960000.jpeg");
}

TEST(Screenshot, TheRealScreenIsUploadedAndDecodedBack)
{
    harness::DevService service;
    ASSERT_TRUE(service.start());
    LMRAosController aos(service.aosSettings());
    ScreenshotController shots(&aos);
    aos.registerReceiver(&shots);
    LMRUserInfo::instance()->setClassRoomInfo(
        QStringLiteral("{\"token\":\"demo-class-1\",\"cls_user_type\":\"teacher\",\"cls_category\":1,\"users\":[]}"));
    QStringList toPage;
    auto connection
        = QObject::connect(QMLNotify::instance(), &QMLNotify::sgNotifyH5, [&](QString json) { toPage << json; });

    emit shots.onAllScreenshotSignal();
    ASSERT_TRUE(waitUntil([&] { return toPage.size() == 1; }, 60000));
    const QJsonObject call = QJsonDocument::fromJson(toPage[0].toUtf8()).object();
    EXPECT_EQ(call.value("func").toString(), "jsFunScreen");
    const QString url = call.value("param").toArray().at(0).toString();
    const QString prefix = "http://" + ScreenshotController::kBucket + "." + service.ossEndpoint().mid(7) + "/";
    ASSERT_TRUE(url.startsWith(prefix)) << url.toStdString();
    const QString key = url.mid(prefix.size());
    EXPECT_TRUE(
        key.startsWith("pc-screenshot-image/" + QDate::currentDate().toString("yyyy-MM-dd") + "/demo-class-1/"));

    oss::OssClient client(service.ossEndpoint(), osstest::kKeyId, osstest::kSecret);
    const QString back = testenv::sandboxRoot() + "/screen.jpeg";
    ASSERT_TRUE(client.ResumableDownloadObject({ ScreenshotController::kBucket, key, back }).ok);
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(osstest::readFile(back), "JPEG"));
    int width = 0, height = 0;
    for (QScreen *screen : QGuiApplication::screens()) {
        width += screen->geometry().width();
        height = qMax(height, screen->geometry().height());
    }
    EXPECT_EQ(picture.size(), QSize(width, height));

    // A failed upload tells the page nothing.
    osstest::fault(service, "?route=oss&kind=500");
    emit shots.onAllScreenshotSignal();
    ASSERT_TRUE(waitUntil(
        [&] { return linesContaining(programLines(), "screenshot upload failed") == 1 && aos.runningWorkers() == 0; },
        60000));
    harness::processEventsFor(200);
    EXPECT_EQ(toPage.size(), 1);
    QObject::disconnect(connection);
    aos.unregisterReceiver(&shots);
}

// Recording upload against the development service (routes, report, status
// row, page notices, dialog counts); the HTTP client's TLS checks and time-outs.
#include "GTestMain.h"
#include "OssTestSupport.h"
#include "RecordCheck.h"

#include "net/HttpMsg.h"
#include "record/AudioDataDispatcher.h"
#include "record/AudioDataDispatcherController.h"
#include "record/AudioUpload.h"
#include "record/LMRRecordSQLite.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

using recordcheck::rowCount;
using testenv::waitUntil;

namespace
{

QString request(const harness::DevService &service, const QByteArray &verb, const QString &path)
{
    return QString::fromUtf8(osstest::devCall(service.baseUrl(), verb, path));
}

// An HttpMsg on three equal hosts; debugMode means plain HTTP.
std::unique_ptr<HttpMsg> httpOn(const QString &name, const QString &host, bool debugMode)
{
    const QString ini = testenv::sandboxRoot() + "/" + name + ".ini";
    QSettings(ini, QSettings::IniFormat).setValue("Browser/MainDebugUrlSwitch", debugMode);
    return std::make_unique<HttpMsg>(ini, QStringList { host, host, host });
}

// jsUploadProcessNotify carries (state, value, token), jsTransferAudioURL (url, token).
struct PageNotice {
    QString func, first, last;
};

class Upload : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        dir = testenv::sandboxRoot() + "/upload-" + QString::number(++s_run);
        QDir().mkpath(dir);
        dbFile = dir + "/status.db";
        db = std::make_unique<LMRRecordSQLite>(dbFile, "upload-" + QString::number(s_run));

        LMRAosSettings settings = service.aosSettings();
        settings.client.maxAttempts = 1; // the routes are what is tested here
        aos = std::make_unique<LMRAosController>(settings);

        http = httpOn("upload-" + QString::number(s_run), QStringLiteral("127.0.0.1:%1").arg(service.port), true);

        makeRecorder(AudioUploadReport::kReportTimeoutMs);
    }
    void makeRecorder(int reportTimeoutMs)
    {
        recorder.reset();
        RecorderUploads uploads;
        uploads.reportTimeoutMs = reportTimeoutMs;
        uploads.state = &upload;
        uploads.aos = aos.get();
        uploads.http = http.get();
        uploads.userId = [this] { return classUser; };
        uploads.storedUserId = [] { return QStringLiteral("10001"); };
        uploads.userIsTeacher = [] { return true; };
        uploads.notifyPage = [this](QString json) {
            const QJsonObject obj = QJsonDocument::fromJson(json.toUtf8()).object();
            const QJsonArray param = obj.value("param").toArray();
            notices.append({ obj.value("func").toString(), param.first().toString(), param.last().toString() });
        };
        uploads.runnerIdleMs = 40;
        recorder = std::make_unique<AudioDataDispatcherController>(record, db.get(), dir, systemRecordClock(), uploads);
        QObject::connect(recorder.get(), &AudioDataDispatcherController::sgUploadfinished, [this] {
            ++finished;
            uploadingAtFinish.append(recorder->isUploading());
        });
        QObject::connect(
            recorder.get(), &AudioDataDispatcherController::sgUploadDialogInfo, [this](int cur, int total) {
                dialog.append({ cur, total });
            });
    }
    void TearDown() override
    {
        recorder.reset();
        request(service, "POST", "/dev/fault/clear");
        request(service, "POST", "/dev/hang/clear");
    }

    QString mp3(const QString &token) const { return dir + "/" + AudioDataDispatcher::fileName(token, "10001"); }
    bool storedMp3(const QString &token) const
    {
        return QFileInfo::exists(service.ossDir + "/lumira-files/pc-class-voice/"
            + QDate::currentDate().toString("yyyy-MM-dd") + "/" + token + "_10001_pc.mp3");
    }
    void recording(const QString &token, bool withRow = true)
    {
        QFile file(mp3(token));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(64 * 1024, 'm'));
        if (withRow) {
            ASSERT_TRUE(db->add(token, "10001", "teacher"));
        }
    }
    int noticesOf(const QString &func, const QString &state = QString()) const
    {
        int n = 0;
        for (const PageNotice &notice : notices)
            n += notice.func == func && (state.isEmpty() || notice.first == state);
        return n;
    }

    static int s_run;
    QString classUser = QStringLiteral("10001"); // the class information's user, GUI thread
    harness::DevService service;
    QString dir, dbFile;
    RecordState record;
    UploadState upload;
    std::unique_ptr<LMRRecordSQLite> db;
    std::unique_ptr<LMRAosController> aos;
    std::unique_ptr<HttpMsg> http;
    std::unique_ptr<AudioDataDispatcherController> recorder;
    QList<PageNotice> notices;
    QList<QPair<int, int>> dialog;
    int finished = 0;
    QList<bool> uploadingAtFinish; // the upload flag as each sgUploadfinished went out
};
int Upload::s_run = 0;

} // namespace

TEST_F(Upload, EachRouteFailsInTurnAndOnlyTheThirdIsReported)
{
    recording("tok");
    request(service, "POST", "/dev/fault?route=oss&kind=500");
    request(service, "POST", "/dev/fault?route=accelerate&kind=500");
    request(service, "POST", "/dev/fault?route=form&kind=500");
    recorder->handUpload("tok");
    ASSERT_TRUE(waitUntil([&] { return noticesOf("jsUploadProcessNotify", "upload_audio_fail") == 1; }, 30000));
    EXPECT_EQ(finished, 1) << "finished only after the third failure";
    EXPECT_EQ(upload.route, 0);
    EXPECT_FALSE(recorder->isUploading());
    const QString log = harness::logText();
    const int first = log.indexOf(QStringLiteral("音频录制: 上海线路上传失败，尝试国际线路 token:tok"));
    const int second = log.indexOf(QStringLiteral("音频录制: 国际线路失败，尝试服务器线路 token:tok"));
    const int third = log.indexOf(QStringLiteral("音频录制: 上传失败 token:tok"));
    EXPECT_TRUE(first >= 0 && second > first && third > second);
    EXPECT_EQ(rowCount(dbFile, "Token='tok' AND RecordUpload='null'"), 1);

    // The next upload starts again on the regional route.
    request(service, "POST", "/dev/fault/clear");
    recorder->handUpload("tok");
    ASSERT_TRUE(waitUntil([&] { return finished == 2; }, 30000));
    ASSERT_EQ(noticesOf("jsTransferAudioURL"), 1);
    const PageNotice url = notices.last();
    EXPECT_EQ(url.func + url.last, "jsTransferAudioURLtok");
    EXPECT_TRUE(url.first.startsWith("http://lumira-files." + service.ossEndpoint().mid(7) + "/pc-class-voice/"))
        << url.first.toStdString();
    EXPECT_TRUE(storedMp3("tok"));
    EXPECT_GT(noticesOf("jsUploadProcessNotify", "upload_progress"), 0);
}

TEST_F(Upload, TheRowIsMarkedOnlyWhenTheServiceAcceptsTheReport)
{
    recording("rep");
    request(service, "POST", "/dev/fault?route=report&kind=retcode&count=2");
    recorder->handUpload("rep", false);
    ASSERT_TRUE(waitUntil([&] { return finished == 1; }, 30000));
    EXPECT_EQ(rowCount(dbFile, "Token='rep' AND RecordUpload='null'"), 1) << "two refusals leave it to upload again";
    EXPECT_EQ(harness::logText().count(QStringLiteral("音频录制: 音频上传后台回调：{\"retcode\":0")), 2);

    recorder->handUpload("rep", false);
    ASSERT_TRUE(waitUntil([&] { return finished == 2; }, 30000));
    const QString url = notices.last().first;
    EXPECT_EQ(rowCount(dbFile, QStringLiteral("Token='rep' AND RecordUpload='%1'").arg(url)), 1);
    const QString reports = request(service, "GET", "/dev/reports");
    EXPECT_TRUE(reports.contains("lesson_token=rep&sound_url=" + url + "&user_role=teacher&user_id=10001&isUpload=1"))
        << reports.toStdString();
}

TEST_F(Upload, AReportThatIsNeverAnsweredTimesOutAndTheNextUploadGoesOn)
{
    // Long enough for a loaded machine to answer the report that is not held.
    constexpr int kTimeoutMs = 3000;
    makeRecorder(kTimeoutMs);
    recording("hung");
    recording("next");
    // The service takes both attempts of the first report and never answers.
    ASSERT_EQ(request(service, "POST", "/dev/hang?route=report&count=2"), "ok");

    // The GUI thread's own loop turns while the report waits; no nested loop.
    int ticks = 0;
    int ticksAtReport = -1;
    int deepestLoop = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        deepestLoop = std::max(deepestLoop, QThread::currentThread()->loopLevel());
        if (ticksAtReport < 0 && noticesOf("jsTransferAudioURL") == 1)
            ticksAtReport = ticks;
    });
    tick.start(10);
    recorder->handUpload("hung", false);
    ASSERT_TRUE(waitUntil([&] { return noticesOf("jsTransferAudioURL") == 1; }, 30000));
    recorder->handUpload("next", false); // waits behind the report of "hung"
    ASSERT_TRUE(waitUntil([&] { return finished == 1; }, 60000));
    tick.stop();
    EXPECT_EQ(deepestLoop, 0);
    EXPECT_GE(ticksAtReport, 0);
    EXPECT_GT(ticks, ticksAtReport) << "the loop turned while the report was held";

    ASSERT_TRUE(waitUntil([&] { return finished == 2; }, 60000));
    EXPECT_EQ(uploadingAtFinish, QList<bool>({ false, false }));
    EXPECT_FALSE(recorder->isUploading());
    EXPECT_EQ(request(service, "GET", "/dev/hang"), "held=2 total=2");

    // Both attempts timed out: no address recorded, so auto upload finds it again.
    const QString timedOut
        = QStringLiteral("音频录制: 音频上传后台回调超时(%1ms)，地址未记录，稍后自动重新上传 token:hung")
              .arg(kTimeoutMs);
    EXPECT_EQ(harness::logText().count(timedOut), 2);
    EXPECT_EQ(rowCount(dbFile, "Token='hung' AND RecordUpload='null'"), 1);
    EXPECT_EQ(rowCount(dbFile, "Token='next' AND RecordUpload LIKE 'http://%'"), 1);
    const QString reports = request(service, "GET", "/dev/reports");
    EXPECT_TRUE(reports.contains("lesson_token=next&")) << reports.toStdString();
    EXPECT_FALSE(reports.contains("lesson_token=hung&")) << reports.toStdString();
}

TEST_F(Upload, MissingFilesLostRowsAndLessonsStillRecording)
{
    // No file: reported to the page at once.
    recorder->handUpload("nofile");
    ASSERT_TRUE(waitUntil([&] { return noticesOf("jsUploadProcessNotify", "upload_audio_fail") == 1; }));
    EXPECT_TRUE(harness::logText().contains(QStringLiteral("音频录制: 上传音频不存在:") + mp3("nofile")));

    // A lesson being recorded waits for its end.
    recording("busy");
    record.setRecordToken("busy");
    recorder->handUpload("busy");
    testenv::waitUntil([] { return false; }, 600);
    EXPECT_FALSE(recorder->isUploading());
    EXPECT_EQ(finished, 0);
    record.setRecordToken(QString());
    ASSERT_TRUE(waitUntil([&] { return finished == 1; }, 30000));

    // A lost row is made again, with the role from the class information.
    recording("lost", false);
    recorder->handUpload("lost");
    ASSERT_TRUE(waitUntil([&] { return finished == 2; }, 30000));
    EXPECT_TRUE(harness::logText().contains(QStringLiteral("音频录制: 上传音频数据库自动补全:") + mp3("lost")));
    EXPECT_EQ(db->getRole("lost", "10001"), "teacher");
    EXPECT_EQ(rowCount(dbFile, "Token='lost' AND RecordUpload LIKE 'http://%'"), 1);
}

TEST_F(Upload, ARecordingUploadsForTheUserItWasQueuedFor)
{
    // Queued while recording; another user signs in before the runner takes it.
    recording("mine");
    record.setRecordToken("mine");
    recorder->handUpload("mine", false);
    classUser = QStringLiteral("20002");
    record.setRecordToken(QString());
    ASSERT_TRUE(waitUntil([&] { return finished == 1; }, 30000));
    EXPECT_EQ(noticesOf("jsUploadProcessNotify", "upload_audio_fail"), 0);
    EXPECT_EQ(rowCount(dbFile, "Token='mine' AND UserID='10001' AND RecordUpload LIKE 'http://%'"), 1);
    const QString reports = request(service, "GET", "/dev/reports");
    EXPECT_TRUE(reports.contains(
        QRegularExpression("lesson_token=mine&sound_url=[^&]*&user_role=teacher&user_id=10001&isUpload=1")))
        << reports.toStdString();
    EXPECT_TRUE(storedMp3("mine"));
}

TEST_F(Upload, DialogCountsABatch)
{
    recorder->uploadCount(3);
    recorder->uploadCount(2);
    recorder->uploadCount(1);
    recorder->uploadCount(2);
    const QList<QPair<int, int>> expected = { { 1, 3 }, { 2, 3 }, { 3, 3 }, { 1, 2 } };
    EXPECT_EQ(dialog, expected);
}

namespace
{

// A development service whose TLS port shows a certificate for the same
// address that nobody told the client to trust: a stranger on the network.
bool startStranger(osstest::StoreProcess &stranger)
{
    const QString cert = stranger.dir + "/cert.pem", key = stranger.dir + "/key.pem";
    QDir().mkpath(stranger.dir);
    QProcess openssl;
    openssl.start("openssl",
        { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
            "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout", key, "-out", cert });
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        return false;
    stranger.extraArgs = QStringList { "--tls-cert", cert, "--tls-key", key };
    return stranger.start();
}

} // namespace

TEST(HttpMsgTls, TheDevelopmentServiceIsTrustedOnBothApiHostsAndTheRetryHostSwitches)
{
    harness::DevService service;
    ASSERT_TRUE(service.start());
    const QString ini = testenv::sandboxRoot() + "/production.ini";
    QSettings(ini, QSettings::IniFormat).setValue("Browser/MainDebugUrlSwitch", false);
    // The build's TLS settings: certificates checked, the development
    // service's own certificate trusted as an extra root.
    HttpMsg http(ini,
        { QStringLiteral("127.0.0.1:%1").arg(service.tlsPort), QStringLiteral("localhost:%1").arg(service.tlsPort),
            QStringLiteral("127.0.0.1:%1").arg(service.port) });
    EXPECT_FALSE(http.debugMode);
    EXPECT_EQ(http.currentBaseUrl(), QStringLiteral("https://127.0.0.1:%1/").arg(service.tlsPort));
    EXPECT_EQ(http.post("doc/upload/sound", "lesson_token=t&sound_url=u&user_role=teacher&user_id=1&isUpload=1"),
        "{\"retcode\":1,\"msg\":\"ok\"}");
    http.switchHost(1);
    EXPECT_EQ(http.currentBaseUrl(), QStringLiteral("https://localhost:%1/").arg(service.tlsPort));
    EXPECT_EQ(http.get("ping"), "pong");
    http.switchHost(5);
    EXPECT_EQ(http.currentBaseUrl(), QStringLiteral("https://localhost:%1/").arg(service.tlsPort));
    http.switchHost(2);
    EXPECT_FALSE(http.currentUseHttps());
    EXPECT_EQ(http.get("ping"), "pong");
    EXPECT_FALSE(harness::logText().contains("certificate checks are OFF"));
}

TEST(HttpMsgTls, AStrangersCertificateIsRefusedUnlessTheDeploymentRelaxesTheChecks)
{
    osstest::StoreProcess stranger(testenv::sandboxRoot() + "/stranger");
    ASSERT_TRUE(startStranger(stranger));
    const QString host = QStringLiteral("127.0.0.1:%1").arg(stranger.tlsPort);
    const auto owned = httpOn("stranger", host, false);
    HttpMsg &http = *owned;
    const QString pingUrl = QStringLiteral("https://%1/ping").arg(host);

    // Same address, same names, but not a certificate we trust.
    EXPECT_EQ(http.get("ping"), "");
    const QString refused = QStringLiteral("HTTP: request to ") + pingUrl + QStringLiteral(" failed");
    EXPECT_EQ(harness::logText().count(refused), 1);
    // Nor through the call the report uses.
    HttpCall *call = http.postAsync("doc/upload/sound", "lesson_token=t&sound_url=u", 15000);
    HttpAnswer answer;
    QObject::connect(call, &HttpCall::done, [&] { answer = call->answer(); });
    ASSERT_TRUE(waitUntil([&] { return !answer.error.isEmpty(); }));
    EXPECT_FALSE(answer.ok);
    EXPECT_FALSE(answer.timedOut);
    EXPECT_EQ(answer.body, "");

    // A root file that cannot be read is logged, and trusts nothing.
    HttpTls missing;
    missing.extraCaFile = testenv::sandboxRoot() + "/no-such-root.pem";
    http.setTls(missing);
    EXPECT_TRUE(harness::logText().contains(
        "HTTP: extra root certificate file missing or unreadable, not trusted: " + missing.extraCaFile));
    EXPECT_EQ(http.get("ping"), "");

    // Relaxed: anything goes, and the log says so once.
    const QString warning = QStringLiteral("certificate checks are OFF");
    const int warningsBefore = harness::logText().count(warning);
    HttpTls relaxed;
    relaxed.relaxed = true;
    http.setTls(relaxed);
    EXPECT_EQ(http.get("ping"), "pong");
    EXPECT_EQ(http.post("doc/upload/sound", "lesson_token=t&sound_url=u"), "{\"retcode\":1,\"msg\":\"ok\"}");
    EXPECT_EQ(harness::logText().count(warning), warningsBefore + 1);
}

TEST(HttpMsgTimeout, ABlockingCallGivesUpWhenTheServiceNeverAnswers)
{
    harness::DevService service;
    ASSERT_TRUE(service.start());
    ASSERT_EQ(request(service, "POST", "/dev/hang?route=report"), "ok");
    const QString host = QStringLiteral("127.0.0.1:%1").arg(service.port);
    const auto owned = httpOn("timeout", host, true);
    HttpMsg &http = *owned;
    http.setTimeoutMs(500);
    EXPECT_EQ(http.post("doc/upload/sound", "lesson_token=t&sound_url=u"), "");
    EXPECT_EQ(
        harness::logText().count(QStringLiteral("HTTP: no answer in time from http://%1/doc/upload/sound").arg(host)),
        1);
    EXPECT_EQ(request(service, "GET", "/dev/hang"), "held=1 total=1");
    // Cleared, the held request is let go and later ones are answered.
    EXPECT_EQ(request(service, "POST", "/dev/hang/clear"), "ok");
    EXPECT_TRUE(waitUntil([&] { return request(service, "GET", "/dev/hang") == "held=0 total=1"; }));
    EXPECT_EQ(http.post("doc/upload/sound", "lesson_token=t&sound_url=u"), "{\"retcode\":1,\"msg\":\"ok\"}");
}

TEST(UploadQueue, HandUploadsGoFirstAutomaticOnesLast)
{
    const QString dir = testenv::sandboxRoot() + "/queue";
    QDir().mkpath(dir);
    qint64 now = QDateTime::currentMSecsSinceEpoch();
    LMRRecordSQLite db(dir + "/status.db", "queue", [&] { return now; });
    ASSERT_TRUE(db.add("old1", "10001", "teacher"));
    ASSERT_TRUE(db.add("old2", "10001", "teacher"));
    now += LMRRecordSQLite::kIdleBeforeAutoUploadMs + 1;
    UploadState state;
    state.autoUploadOwner.userId = QStringLiteral("10001");
    AudioUpload queue(state, &db, dir, QStringLiteral("10001"));
    queue.handUpload("a", true);
    queue.handUpload("b", true);
    queue.handUpload("", true);
    EXPECT_EQ(state.queue, QStringList({ "b", "a" }));
    queue.handUpload("a", true);
    EXPECT_EQ(state.queue, QStringList({ "a", "b" }));
    queue.handUpload("old1", true);
    queue.autoUpload(); // moves old1 to the back and takes its notices away
    EXPECT_EQ(state.queue, QStringList({ "a", "b", "old1", "old2" }));
    EXPECT_FALSE(state.callH5.value("old1"));
    EXPECT_TRUE(state.callH5.value("a"));
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("upload");
    return testenv::runGoogleTests(argc, argv, "LMRApp_test.log");
}

// 100,000 generated malformed page messages through the real transport,
// dispatcher and registry queue. Afterwards the client must answer, have
// written nothing outside its data directory, kept every log line whole, and
// ended only where an unknown role says so. Runs in a child in a private
// folder: a fatal exit (code 0) cannot pass for success and every write shows.
//   LUMIRA_FUZZ_SEED, LUMIRA_FUZZ_COUNT: seed and number of messages
#include "DispatcherHarness.h"
#include "FuzzMessages.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "net/HttpMsg.h"
#include "net/LMRAosController.h"
#include "record/AudioDataDispatcherController.h"
#include "record/LMRRecordSQLite.h"
#include "record/RecordState.h"
#include "web/LMRUserInfo.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <cstdio>

using fuzz::endsTheProcess;
using fuzz::Generator;
using fuzz::isCloseRequest;
using fuzz::kMarker;

namespace
{

const quint64 kDefaultSeed = 20261207;
const int kDefaultCount = 100000;

// ------------------------------------------------------------------- child

void out(const QString &line)
{
    std::fprintf(stdout, "fuzz: %s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

int qmlWarnings = 0;

// Debug output (log lines too) is dropped; QML errors, where an escaped
// handler exception would show, are counted.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    static int printed = 0;
    qmlWarnings += message.contains(QLatin1String("qrc:/"));
    if (++printed <= 50)
        std::fprintf(stderr, "%s\n", message.left(300).toUtf8().constData());
}

void useSandbox(const QString &root)
{
    for (const char *sub : { "/home", "/home/.config", "/run", "/tmp" })
        QDir().mkpath(root + QLatin1String(sub));
    QFile::setPermissions(root + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QVector<QPair<const char *, const char *>> vars
        = { { "HOME", "/home" }, { "XDG_CONFIG_HOME", "/home/.config" }, { "XDG_CACHE_HOME", "/home/.cache" },
              { "XDG_DATA_HOME", "/home/.local/share" }, { "XDG_RUNTIME_DIR", "/run" }, { "TMPDIR", "/tmp" } };
    for (const auto &var : vars)
        qputenv(var.first, (root + QLatin1String(var.second)).toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + root + "/run/no-sound-server").toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

int closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// Every line of the log must begin with its own time stamp.
int badLogLines(const QString &path)
{
    TSpdlog::flushAll();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression start(QStringLiteral(
        "^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]\\[thread \\d+\\]\\[(info|warning|error)\\] : "));
    int bad = 0;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        line.chop(line.endsWith("\r\n") ? 2 : line.endsWith('\n'));
        bad += !start.match(QString::fromUtf8(line.left(200))).hasMatch() || line.contains('\r');
    }
    return bad;
}

struct ChildSetup {
    explicit ChildSetup(int &argc, char **argv)
    {
        root = qEnvironmentVariable("LUMIRA_FUZZ_ROOT");
        useSandbox(root + QStringLiteral("/sandbox"));
        qInstallMessageHandler(quietHandler);
        QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
        QCoreApplication::setApplicationName(QStringLiteral("lumira"));
        app = std::make_unique<QApplication>(argc, argv);
        logPath = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_fuzz.log");
        TSpdlog::create(logPath, logPath);
        out(QStringLiteral("log=") + logPath);
    }
    QString root;
    QString logPath;
    std::unique_ptr<QApplication> app;
};

int fuzzChild(int argc, char **argv)
{
    ChildSetup setup(argc, argv);
    bool ok = false;
    quint64 seed = qEnvironmentVariable("LUMIRA_FUZZ_SEED").toULongLong(&ok);
    seed = ok ? seed : kDefaultSeed;
    int count = qEnvironmentVariableIntValue("LUMIRA_FUZZ_COUNT", &ok);
    count = ok ? count : kDefaultCount;
    out(QStringLiteral("seed=%1 count=%2 (LUMIRA_FUZZ_SEED, LUMIRA_FUZZ_COUNT)").arg(seed).arg(count));

    // The real recorder; its uploads go to a local port nobody listens on.
    LMRAosSettings aosSettings;
    aosSettings.endpoint = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
    aosSettings.accelerationEndpoint = aosSettings.endpoint;
    aosSettings.uploadUrl = aosSettings.endpoint;
    aosSettings.keyId = "LumiraFuzzKeyId0";
    aosSettings.keySecret = "LumiraFuzzKeySecret00000000000";
    LMRAosController aos(aosSettings);
    const QString ini = DirHelper::instance()->configPath() + QStringLiteral("/fuzz-api.ini");
    QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("Browser/MainDebugUrlSwitch"), true);
    const QString host = QStringLiteral("127.0.0.1:%1").arg(closedPort());
    HttpMsg http(ini, { host, host, host });
    RecorderUploads uploads;
    uploads.aos = &aos;
    uploads.http = &http;
    uploads.userId = [] { return LMRUserInfo::instance()->userId(); };
    uploads.storedUserId = [] { return LMRConfig::instance()->getUserID(); };
    uploads.userIsTeacher = [] { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; };
    uploads.notifyPage = [](QString json) { QMLNotify::instance()->triggerSgNotifyH5(json); };
    auto recorder = std::make_unique<AudioDataDispatcherController>(RecordState::process(), LMRRecordSQLite::instance(),
        DirHelper::instance()->recordPath(), systemRecordClock(), uploads);

    dispatcher::Dispatcher d({ { "recordDispatcher", recorder.get() } });
    if (!d.item) {
        out(QStringLiteral("dispatcher not loaded: ") + d.errors);
        return 2;
    }
    int internalFailures = 0;
    QHash<QString, QJsonObject> finalReplies;
    QString current;
    d.page.onReply = [&](const QJsonObject &reply) {
        if (reply.value("status").toString() == QLatin1String("failure") && reply.value("failureVal").toInt() == 4
            && ++internalFailures <= 5)
            out(QStringLiteral("internal failure: ") + reply.value("request").toString().left(100));
        const QString id = reply.value("id").toString();
        if (id.startsWith(QLatin1String("final-")))
            finalReplies.insert(id, reply);
    };
    int wrongCloses = 0;
    d.window.onClose = [&] {
        if (!isCloseRequest(current))
            ++wrongCloses;
    };

    Generator generator(seed, setup.root);
    int setAside = 0, sent = 0, expectedCloses = 0, closeMismatches = 0, possibleCloses = 0, stuck = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const Generator::Message message = generator.next();
        if (endsTheProcess(message.text)) {
            ++setAside;
            continue;
        }
        current = message.text;
        // Qt's parser takes some texts JSON.parse refuses: damaged ones may close.
        const bool mayClose = isCloseRequest(current) && current.size() <= QCefClient::kMaxMessageBytes;
        const bool mustClose = mayClose && message.strictJson;
        possibleCloses += mayClose;
        expectedCloses += mustClose;
        const int closeCount = d.window.closeCount;
        d.post(current);
        ++sent;
        if (mustClose && d.window.closeCount == closeCount && ++closeMismatches <= 3)
            out(QStringLiteral("close expected: %1").arg(QString::fromLatin1(current.toUtf8().toPercentEncoding())));
        if (!LMRMsgId::instance()->queuedKeys().isEmpty() && !d.settle(10000) && ++stuck <= 3)
            out(QStringLiteral("queue stuck after message %1: %2").arg(i).arg(current.left(200)));
    }
    const qint64 elapsedMs = timer.elapsed();
    d.settle();

    // The client still answers, directly and through the queue.
    current.clear();
    d.post(QStringLiteral("{\"request\":\"jsVersion://\",\"id\":\"final-1\"}"));
    d.post(QStringLiteral("{\"request\":\"system_info://\",\"id\":\"final-2\"}"));
    d.settle();
    const bool answered
        = finalReplies.value("final-1").value("successMsg").toString() == LMRConfig::instance()->getVersion()
        && finalReplies.value("final-2").value("status").toString() == QLatin1String("success");

    out(QString::asprintf(
        "messages=%d sent=%d setAside=%d ms=%lld replies=%d", count, sent, setAside, elapsedMs, d.page.replyCount));
    out(QString::asprintf("closes=%d expectedCloses=%d possibleCloses=%d wrongCloses=%d", d.window.closeCount,
        expectedCloses, possibleCloses, wrongCloses));
    out(QString::asprintf("internalFailures=%d qmlWarnings=%d badLogLines=%d stuck=%d answered=%d", internalFailures,
        qmlWarnings, badLogLines(setup.logPath), stuck, answered ? 1 : 0));
    recorder->stopRecord();
    recorder.reset();
    out(QStringLiteral("done"));
    return 0;
}

// One message whose unknown role must end the process.
int fatalChild(int argc, char **argv, const QString &message)
{
    ChildSetup setup(argc, argv);
    dispatcher::Dispatcher d;
    d.post(message);
    d.settle(5000);
    out(QStringLiteral("survived"));
    return 3;
}

// ------------------------------------------------------------------ parent

using Entry = QPair<qint64, QDateTime>; // size, modification time

QHash<QString, Entry> snapshot(const QString &root)
{
    QHash<QString, Entry> entries;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries.insert(info.filePath().mid(root.size()), { info.isDir() ? 0 : info.size(), info.lastModified() });
    }
    return entries;
}

QStringList markedNames(const QString &dir)
{
    return QDir(dir).entryList(
        { QStringLiteral("*%1*").arg(QLatin1String(kMarker)) }, QDir::AllEntries | QDir::Hidden | QDir::System);
}

struct ChildRun {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    bool finished = false;
    QHash<QString, QString> values; // "fuzz: a=1 b=2" lines; "done", "survived" as keys
    QString output, errors;
};

ChildRun runChild(const QString &root, const QStringList &args, int timeoutMs)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUMIRA_FUZZ_ROOT"), root);
    child.setProcessEnvironment(env);
    child.setWorkingDirectory(root + QStringLiteral("/cwd"));
    child.start(QCoreApplication::applicationFilePath(), args);
    ChildRun run;
    run.finished = child.waitForFinished(timeoutMs);
    if (!run.finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    run.exitCode = child.exitCode();
    run.status = child.exitStatus();
    run.output = QString::fromUtf8(child.readAllStandardOutput());
    run.errors = QString::fromUtf8(child.readAllStandardError()).right(3000);
    for (const QString &line : run.output.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("fuzz: ")))
            continue;
        const QString body = line.mid(6);
        for (const QString &word : body.split(QLatin1Char(' '))) {
            const int eq = word.indexOf(QLatin1Char('='));
            if (eq > 0 && !run.values.contains(word.left(eq)))
                run.values.insert(word.left(eq), word.mid(eq + 1));
        }
        if (body == QLatin1String("done") || body == QLatin1String("survived"))
            run.values.insert(body, QStringLiteral("1"));
    }
    return run;
}

QString makeRoot()
{
    char templ[] = "/tmp/lumira-fuzz-XXXXXX";
    const char *dir = mkdtemp(templ);
    const QString root = QString::fromLocal8Bit(dir ? dir : "");
    QDir().mkpath(root + QStringLiteral("/cwd"));
    QDir().mkpath(root + QStringLiteral("/sandbox"));
    return root;
}

// The client may write in its settings and data, its cache (compiled QML),
// the runtime folder and the fallback log, and the folders above them.
bool allowedWrite(const QString &relative)
{
    static const QStringList trees
        = { "/sandbox/home/.config/kestrelon", "/sandbox/home/.cache/kestrelon", "/sandbox/run", "/sandbox/tmp/logs" };
    for (const QString &tree : trees)
        if (tree.startsWith(relative + QLatin1Char('/')) || relative == tree || relative.startsWith(tree + '/'))
            return true;
    return false;
}

} // namespace

TEST(BridgeFuzz, MalformedPageMessagesLeaveTheClientAnsweringAndInsideItsFolders)
{
    const QString root = makeRoot();
    ASSERT_FALSE(root.isEmpty());
    const QHash<QString, Entry> before = snapshot(root);
    const QStringList markedBefore = markedNames(QDir::tempPath()) + markedNames(QStringLiteral("/tmp"));

    const ChildRun run = runChild(root, { QStringLiteral("--fuzz-child") }, 250000);
    std::printf("%s", run.output.toUtf8().constData());
    ASSERT_TRUE(run.finished) << "the run did not end in time\n" << run.errors.toStdString();
    ASSERT_EQ(run.status, QProcess::NormalExit) << run.errors.toStdString();
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    // A fatal exit also ends with code 0: only the last line tells a finished run.
    ASSERT_TRUE(run.values.contains("done")) << "ended early (a fatal exit?)\n" << run.errors.toStdString();

    EXPECT_EQ(run.values.value("answered"), QStringLiteral("1"));
    for (const char *zero : { "stuck", "qmlWarnings", "internalFailures", "badLogLines", "wrongCloses" })
        EXPECT_EQ(run.values.value(zero), QStringLiteral("0")) << zero;
    EXPECT_GE(run.values.value("closes").toInt(), run.values.value("expectedCloses").toInt());
    EXPECT_LE(run.values.value("closes").toInt(), run.values.value("possibleCloses").toInt());
    EXPECT_GE(
        run.values.value("sent").toLongLong(), 95000LL * run.values.value("messages").toLongLong() / kDefaultCount);

    // Nothing written beside the sandbox, in the working directory or in /tmp.
    const QHash<QString, Entry> after = snapshot(root);
    QStringList strays;
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        const auto old = before.constFind(it.key());
        const bool changed = old == before.constEnd() || *old != *it;
        if (changed && !allowedWrite(it.key()))
            strays << it.key();
    }
    EXPECT_TRUE(strays.isEmpty()) << strays.join(QLatin1Char('\n')).toStdString();
    const QStringList markedAfter = markedNames(QDir::tempPath()) + markedNames(QStringLiteral("/tmp"));
    EXPECT_EQ(markedAfter, markedBefore);
    if (!HasFailure())
        QDir(root).removeRecursively();
}

TEST(BridgeFuzz, UnknownRolesEndTheProcessThroughTheDispatcher)
{
    const QVector<QPair<QString, QString>> cases = {
        { "{\"request\":\"user://\",\"id\":\"f1\",\"userType\":\"admin\",\"userID\":\"1\",\"userName\":\"x\"}",
            "Fatal:error role error" },
        { "{\"request\":\"joinclassroom://\",\"id\":\"f2\"}", "Fatal:error role error" },
        { "{\"request\":\"joinclassroom://\",\"id\":\"f3\",\"cls_user_type\":\"teacher\",\"users\":[{\"role\":"
          "\"guest\"}]}",
            "Fatal:error role json error" },
    };
    for (const auto &c : cases) {
        const QString root = makeRoot();
        const ChildRun run = runChild(root, { QStringLiteral("--fatal-child"), c.first }, 60000);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.status, QProcess::NormalExit) << run.errors.toStdString();
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_FALSE(run.values.contains("survived")) << c.first.toStdString();
        QFile log(run.values.value("log"));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << run.output.toStdString();
        EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains(c.second)) << c.first.toStdString();
        QDir(root).removeRecursively();
    }
}

int main(int argc, char **argv)
{
    if (argc >= 2 && qstrcmp(argv[1], "--fuzz-child") == 0)
        return fuzzChild(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--fatal-child") == 0)
        return fatalChild(argc, argv, QString::fromUtf8(argv[2]));
    testenv::enterSandbox("fuzz");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

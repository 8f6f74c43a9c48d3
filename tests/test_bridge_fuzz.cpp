// Generated malformed page messages, 100,000 by default, through the real
// transport entry, dispatcher and registry queue, for every request name:
// random and truncated text, huge strings, unknown and near-miss names, bad
// percent-encoding, wrong field types. The client must answer a normal request
// afterwards, write nothing outside its data directory, keep every log line a
// line of its own, and only end the process where an unknown role says so.
//
// The run happens in a child of this program inside a private folder, so that
// a fatal exit (code 0, like a clean one) cannot pass for success and every
// file the client writes can be accounted for.
//   LUMIRA_FUZZ_SEED   seed of the generator (printed by every run)
//   LUMIRA_FUZZ_COUNT  number of messages
#include "DispatcherHarness.h"
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

#include <algorithm>
#include <cstdio>
#include <random>

namespace
{

const quint64 kDefaultSeed = 20261207;
const int kDefaultCount = 100000;
const char kMarker[] = "lmrfz"; // in every path-like name the generator makes

// ---------------------------------------------------------------- generator

const QStringList kRoles = { "teacher", "student", "jiaowu" };

struct Scheme {
    QString name;
    QStringList fields;
};

// Every request name the dispatcher knows, with the fields its handler reads.
const QVector<Scheme> &schemes()
{
    static const QStringList login = { "sig", "courseId", "uid", "roomid", "usrName", "userId" };
    static const QStringList device = { "device", "open" };
    static const QVector<Scheme> all = {
        { "user://", { "userType", "userID", "userName", "token", "H5version" } },
        { "module_device_test://", { "homeFlag", "flag" } },
        { "system_info://", {} },
        { "js_log_write://", { "log", "msg" } },
        { "joinclassroom://", { "token", "classname", "cls_user_type", "cls_category", "users" } },
        { "quitclassroom://", {} },
        { "user_viewer://", { "online_state" } },
        { "capture_image://", {} },
        { "trtc://VoiceRoomLogout", {} },
        { "qcloud://VoiceRoomLogout", {} },
        { "agora://VoiceRoomLogout", {} },
        { "zego://VoiceRoomLogout", {} },
        { "trtc://VoiceRoomLogin", login },
        { "qcloud://VoiceRoomLogin", login },
        { "agora://VoiceRoomLogin", login },
        { "zego://VoiceRoomLogin", login },
        { "agora://VoiceAgoraState", {} },
        { "trtc://VoiceTrtcState", {} },
        { "VoiceQcloudState", {} },
        { "qcloud://VoiceQcloudState", {} },
        { "qcloud://VoiceInit", { "account" } },
        { "qcloud://VoiceLogout", {} },
        { "agora://VoiceDeviceControl", device },
        { "qcloud://VoiceDeviceControl", device },
        { "trtc://VoiceDeviceControl", device },
        { "zego://VoiceDeviceControl", device },
        { "deviceInfo://", {} },
        { "record://", { "oper", "token", "userId", "cls_user_type" } },
        { "reupload_audio://", { "lesson_token" } },
        { "reupload_audio_list://", { "lesson_token_list", "lesson_token" } },
        { "lock_win_top://", {} },
        { "local://ReloadUrl", {} },
        { "local://Finished", {} },
        { "close_window", {} },
        { "openNewWindow://", { "title", "url", "width", "height" } },
        { "getOngoingCourse://", {} },
        { "jsVersion://", {} },
        { "jsInvokeStartUpdater://", {} },
        { "install_update://", {} },
        { "simroom://config", { "peers", "joinDelayMs", "joinError", "failConnectionAfterMs" } },
        { "mqtt://forward", { "msg" } },
    };
    return all;
}

class Generator
{
public:
    Generator(quint64 seed, QString root)
        : m_rng(seed)
        , m_root(std::move(root))
    {
    }

    struct Message {
        QString text;
        QString scheme; // the name it was made from, empty for noise
        bool strictJson = false; // as QJsonDocument wrote it, undamaged
    };

    Message next()
    {
        ++m_count;
        const int r = below(10000);
        if (r < 2) // about 20 per 100,000: past the size bound
            return { oversized(), QString() };
        if (r < 5)
            return { large(), QString() };
        if (r < 800)
            return { randomText(1 + below(300)), QString() };
        if (r < 1300)
            return { nonObject(), QString() };
        if (r < 1600)
            return { compact(QJsonObject { { "request", unknownName() }, { "id", id() } }), QString() };
        const Scheme &scheme = weightedScheme();
        QString text = compact(structured(scheme));
        const int damage = below(100);
        if (damage < 12)
            text.truncate(below(text.size() + 1));
        else if (damage < 17)
            text.insert(below(text.size() + 1), randomChar());
        return { text, scheme.name, damage >= 17 };
    }

    int count() const { return m_count; }

private:
    // Requests whose handlers write the settings file (a synced write each:
    // joining refreshes and stores every device choice) come less often, so
    // that the run stays short; each still comes hundreds of times.
    const Scheme &weightedScheme()
    {
        static const QVector<int> cumulative = [] {
            QVector<int> sums;
            int sum = 0;
            for (const Scheme &scheme : schemes()) {
                if (scheme.name == QLatin1String("joinclassroom://"))
                    sum += 1;
                else if (scheme.name == QLatin1String("module_device_test://"))
                    sum += 3;
                else if (scheme.name == QLatin1String("user://"))
                    sum += 6;
                else
                    sum += 10;
                sums << sum;
            }
            return sums;
        }();
        const int pick = below(cumulative.last());
        return schemes().at(int(std::upper_bound(cumulative.begin(), cumulative.end(), pick) - cumulative.begin()));
    }

    int below(int n) { return n <= 0 ? 0 : int(m_rng() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }

    static QString compact(const QJsonObject &obj)
    {
        return QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact));
    }

    QChar randomChar()
    {
        static const QString specials = QStringLiteral("%/\\:{}[]\"',&=?#.\n\r\t\u2028\u2029\x1b\x7f ");
        switch (below(6)) {
        case 0:
            return specials.at(below(specials.size()));
        case 1:
            return QChar(ushort(below(0x20))); // control characters, NUL included
        case 2:
            return QChar(ushort(0x4e00 + below(0x5000))); // CJK
        case 3:
            return QChar(ushort(0xd800 + below(0x800))); // lone surrogates
        default:
            return QChar(ushort(0x20 + below(0x5f)));
        }
    }

    QString randomText(int length)
    {
        QString text;
        text.reserve(length);
        for (int i = 0; i < length; ++i)
            text.append(randomChar());
        return text;
    }

    QString pathLike()
    {
        const QString leaf = QStringLiteral("%1-%2").arg(QLatin1String(kMarker)).arg(m_count);
        switch (below(9)) {
        case 0:
            return QStringLiteral("../../../../") + leaf;
        case 1:
            return m_root + QStringLiteral("/cwd/") + leaf;
        case 2:
            return m_root + QLatin1Char('/') + leaf;
        case 3:
            return QStringLiteral("..\\..\\") + leaf;
        case 4:
            return QStringLiteral("/tmp/") + leaf;
        case 5:
            return QStringLiteral("..");
        case 6:
            return QStringLiteral(".");
        case 7:
            return QStringLiteral("C:") + leaf;
        default:
            return leaf + QStringLiteral("/../../") + leaf;
        }
    }

    QString percentJunk()
    {
        static const QStringList junk
            = { "%", "%E0%A4%A", "%zz", "%%41", "%C3%28", "100%", "%0A%5B2026-01-01 forged", "%2e%2e%2f" };
        return junk.at(below(junk.size()));
    }

    QString hugeString() { return QString(1000 + below(100000), QChar(ushort(0x61 + below(26)))); }

    QJsonValue randomValue(int depth)
    {
        switch (below(depth > 2 ? 7 : 9)) {
        case 0:
            return randomText(below(40));
        case 1:
            return double(qint64(m_rng()) % 100000);
        case 2: {
            static const double odd[] = { 0.5, -1, 1e308, -1e308, 4294967296.0, 9007199254740993.0, 0 };
            return odd[below(7)];
        }
        case 3:
            return chance(50);
        case 4:
            return QJsonValue(QJsonValue::Null);
        case 5:
            return pathLike();
        case 6:
            return percentJunk();
        case 7: {
            QJsonArray array;
            for (int i = below(4); i > 0; --i)
                array.append(randomValue(depth + 1));
            return array;
        }
        default: {
            QJsonObject obj;
            for (int i = below(4); i > 0; --i)
                obj.insert(randomText(1 + below(6)), randomValue(depth + 1));
            return obj;
        }
        }
    }

    // What a handler reads: usually near a valid value, often of another type.
    QJsonValue fieldValue(const QString &field)
    {
        if (below(1000) == 0)
            return hugeString();
        if (chance(55))
            return randomValue(0);
        if (field == QLatin1String("userType") || field == QLatin1String("cls_user_type"))
            return chance(90) ? kRoles.at(below(3)) : randomText(1 + below(8));
        if (field == QLatin1String("oper"))
            return chance(90) ? QStringLiteral("start") : QStringLiteral("stop");
        if (field == QLatin1String("device"))
            return QStringList({ "player", "mic", "camera", "Camera", "" }).at(below(5));
        if (field == QLatin1String("open"))
            return QJsonValue(QStringList({ "true", "false", "1" }).at(below(3)));
        if (field == QLatin1String("users") || field == QLatin1String("online_state")
            || field == QLatin1String("peers")) {
            QJsonArray members;
            for (int i = below(4); i > 0; --i)
                members.append(QJsonObject { { "role", chance(95) ? kRoles.at(below(3)) : randomText(4) },
                    { "uid", QString::number(20000 + below(100)) }, { "online", chance(50) } });
            return members;
        }
        if (field == QLatin1String("cls_category") || field == QLatin1String("width")
            || field == QLatin1String("height"))
            return below(12) - 2;
        if (field.contains(QLatin1String("token")) || field == QLatin1String("userId")
            || field == QLatin1String("userID"))
            return chance(50) ? pathLike() : QStringLiteral("lesson-%1").arg(below(50));
        return randomText(below(20));
    }

    QString requestName(const QString &name)
    {
        switch (below(12)) {
        case 0:
            return name + QStringLiteral("?a=") + percentJunk();
        case 1: { // arguments in the name as a JSON object
            QJsonObject inner;
            for (int i = below(3); i > 0; --i)
                inner.insert(randomText(1 + below(5)), randomValue(1));
            if (chance(30))
                inner.insert(QStringLiteral("token"), pathLike());
            return name + QLatin1Char(':') + compact(inner);
        }
        case 2:
            return name + QStringLiteral("token=") + percentJunk() + QStringLiteral("&userId=") + pathLike();
        case 3:
            return QString(randomChar()) + name;
        case 4:
            return name + randomChar();
        case 5:
            return QStringLiteral("foo://") + name;
        case 6:
            return name.toUpper();
        case 7:
            return name.left(below(name.size()));
        default:
            return name;
        }
    }

    QJsonValue id()
    {
        switch (below(6)) {
        case 0:
            return randomValue(1);
        case 1:
            return QJsonValue(QJsonValue::Undefined);
        default:
            return QStringLiteral("fz-%1").arg(m_count);
        }
    }

    QJsonObject structured(const Scheme &scheme)
    {
        QJsonObject obj;
        obj.insert(QStringLiteral("request"), requestName(scheme.name));
        const QJsonValue messageId = id();
        if (!messageId.isUndefined())
            obj.insert(QStringLiteral("id"), messageId);
        for (const QString &field : scheme.fields)
            if (chance(80))
                obj.insert(field, fieldValue(field));
        for (int i = below(3); i > 0; --i)
            obj.insert(randomText(1 + below(6)), randomValue(1));
        return obj;
    }

    QString unknownName()
    {
        return randomText(1 + below(10)).remove(QLatin1Char('/')) + QStringLiteral("://") + randomText(below(10));
    }

    QString nonObject()
    {
        switch (below(6)) {
        case 0:
            return QStringLiteral("[1,2,{\"request\":\"jsVersion://\"}]");
        case 1:
            return QString::number(qint64(m_rng()));
        case 2:
            return QStringLiteral("\"close_window\"");
        case 3:
            return QStringLiteral("null");
        case 4:
            return compact(QJsonObject { { "request", randomValue(1) }, { "id", id() } });
        default:
            return QString(below(2000), QLatin1Char('[')); // deep nesting, cut off
        }
    }

    QString large()
    {
        const Scheme &scheme = schemes().at(below(schemes().size()));
        return compact(QJsonObject {
            { "request", scheme.name }, { "id", id() }, { "log", QString(100000 + below(500000), QLatin1Char('L')) } });
    }

    QString oversized()
    {
        return QStringLiteral("{\"request\":\"js_log_write://\",\"log\":\"")
            + QString(1024 * 1024 + below(1536 * 1024), QLatin1Char('O')) + QStringLiteral("\"}");
    }

    std::mt19937_64 m_rng;
    QString m_root;
    int m_count = 0;
};

// Whether the dispatcher would pass the message to the class information with
// a role it does not know, which ends the process by design. Errs on the side
// of yes: such messages are set aside, and a few are run on their own.
bool endsTheProcess(const QString &text)
{
    const bool user = text.contains(QLatin1String("user://"));
    const bool join = text.contains(QLatin1String("joinclassroom://"));
    if (!user && !join)
        return false;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return true;
    const QJsonObject obj = doc.object();
    const QJsonValue request = obj.value(QLatin1String("request"));
    if (!request.isString())
        return false;
    auto isRole = [](const QJsonValue &v) { return v.isString() && kRoles.contains(v.toString()); };
    if (request.toString().startsWith(QLatin1String("joinclassroom://"))) {
        if (!isRole(obj.value(QLatin1String("cls_user_type"))))
            return true;
        for (const QJsonValue &member : obj.value(QLatin1String("users")).toArray())
            if (!isRole(member.toObject().value(QLatin1String("role"))))
                return true;
        return false;
    }
    if (request.toString().startsWith(QLatin1String("user://"))) {
        if (obj.contains(QLatin1String("userType"))) {
            const QJsonValue type = obj.value(QLatin1String("userType"));
            return type.isString() && !type.toString().isEmpty() && !isRole(type);
        }
        return request.toString().contains(QLatin1String("userType"));
    }
    return false;
}

// Mirrors the dispatcher's rule for "close_window": the word before "://" (or
// before the first delimiter of a bare name) is exactly that.
bool isCloseRequest(const QString &text)
{
    if (!text.contains(QLatin1String("close_window")))
        return false;
    const QJsonObject obj = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString request = obj.value(QLatin1String("request")).toString();
    const int sep = request.indexOf(QLatin1String("://"));
    QString scheme = request;
    if (sep >= 0)
        scheme = request.left(sep);
    else {
        const int end = request.indexOf(QRegularExpression(QStringLiteral("[:?/&={#]")));
        if (end >= 0)
            scheme = request.left(end);
    }
    return scheme == QLatin1String("close_window");
}

// ------------------------------------------------------------------- child

void out(const QString &line)
{
    std::fprintf(stdout, "fuzz: %s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

struct Warnings {
    int count = 0;
    QStringList first;
};
Warnings &qmlWarnings()
{
    static Warnings w;
    return w;
}

// Debug output (every log line goes there too) is dropped; QML errors are
// counted: a handler's exception that escaped would show here.
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    static int printed = 0;
    if (message.contains(QLatin1String("qrc:/"))) {
        Warnings &w = qmlWarnings();
        if (++w.count <= 5)
            w.first << message.left(300);
    }
    if (++printed <= 50)
        std::fprintf(stderr, "%s\n", message.left(300).toUtf8().constData());
}

void useSandbox(const QString &root)
{
    for (const char *sub : { "/home", "/home/.config", "/run", "/tmp" })
        QDir().mkpath(root + QLatin1String(sub));
    QFile::setPermissions(root + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", (root + "/home").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root + "/home/.config").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (root + "/home/.cache").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + "/home/.local/share").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (root + "/run").toLocal8Bit());
    qputenv("TMPDIR", (root + "/tmp").toLocal8Bit());
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
int badLogLines(const QString &path, QStringList *first)
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
        if (line.endsWith("\r\n"))
            line.chop(2);
        else if (line.endsWith('\n'))
            line.chop(1);
        const QString text = QString::fromUtf8(line.left(200));
        if (!start.match(text).hasMatch() || line.contains('\r')) {
            if (++bad <= 3)
                *first << text;
        }
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
    const quint64 seed = qEnvironmentVariableIsSet("LUMIRA_FUZZ_SEED")
        ? qEnvironmentVariable("LUMIRA_FUZZ_SEED").toULongLong()
        : kDefaultSeed;
    const int count = qEnvironmentVariableIsSet("LUMIRA_FUZZ_COUNT") ? qEnvironmentVariableIntValue("LUMIRA_FUZZ_COUNT")
                                                                     : kDefaultCount;
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
    QStringList internalFirst;
    QHash<QString, QJsonObject> finalReplies;
    QString current;
    d.page.onReply = [&](const QJsonObject &reply) {
        if (reply.value("status").toString() == QLatin1String("failure") && reply.value("failureVal").toInt() == 4) {
            if (++internalFailures <= 5)
                internalFirst << reply.value("request").toString().left(100);
        }
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
    int setAside = 0;
    int sent = 0;
    int expectedCloses = 0;
    int closeMismatches = 0;
    int possibleCloses = 0;
    int queued = 0;
    qint64 generating = 0;
    qint64 handling = 0;
    qint64 queueing = 0;
    int stuck = 0;
    QElapsedTimer timer;
    timer.start();
    qint64 mark = 0;
    for (int i = 0; i < count; ++i) {
        const Generator::Message message = generator.next();
        if (endsTheProcess(message.text)) {
            ++setAside;
            continue;
        }
        current = message.text;
        // Qt's parser takes some texts that JSON.parse refuses (raw control
        // characters in strings, unknown escapes): damaged ones may or may
        // not close.
        const bool mayClose = isCloseRequest(current) && current.size() <= QCefClient::kMaxMessageBytes;
        const bool mustClose = mayClose && message.strictJson;
        possibleCloses += mayClose;
        expectedCloses += mustClose;
        const int closeCount = d.window.closeCount;
        generating += timer.nsecsElapsed() - mark;
        mark = timer.nsecsElapsed();
        d.post(current);
        ++sent;
        handling += timer.nsecsElapsed() - mark;
        mark = timer.nsecsElapsed();
        if (mustClose && d.window.closeCount == closeCount && ++closeMismatches <= 3)
            out(QStringLiteral("close expected: %1").arg(QString::fromLatin1(current.toUtf8().toPercentEncoding())));
        if (!LMRMsgId::instance()->queuedKeys().isEmpty()) {
            ++queued;
            if (!d.settle(10000) && ++stuck <= 3)
                out(QStringLiteral("queue stuck after message %1: %2").arg(i).arg(current.left(200)));
        }
        queueing += timer.nsecsElapsed() - mark;
        mark = timer.nsecsElapsed();
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

    QStringList badFirst;
    const int badLines = badLogLines(setup.logPath, &badFirst);
    out(QStringLiteral("messages=%1 sent=%2 setAside=%3 ms=%4 perSecond=%5")
            .arg(count)
            .arg(sent)
            .arg(setAside)
            .arg(elapsedMs)
            .arg(elapsedMs > 0 ? qint64(sent) * 1000 / elapsedMs : 0));
    out(QStringLiteral("queued=%1 generateMs=%2 handleMs=%3 queueMs=%4")
            .arg(queued)
            .arg(generating / 1000000)
            .arg(handling / 1000000)
            .arg(queueing / 1000000));
    out(QStringLiteral("replies=%1 closes=%2 expectedCloses=%3 possibleCloses=%4 wrongCloses=%5")
            .arg(d.page.replyCount)
            .arg(d.window.closeCount)
            .arg(expectedCloses)
            .arg(possibleCloses)
            .arg(wrongCloses));
    out(QStringLiteral("internalFailures=%1 %2").arg(internalFailures).arg(internalFirst.join(QStringLiteral(" | "))));
    out(QStringLiteral("qmlWarnings=%1 %2")
            .arg(qmlWarnings().count)
            .arg(qmlWarnings().first.join(QStringLiteral(" | "))));
    out(QStringLiteral("badLogLines=%1 %2").arg(badLines).arg(badFirst.join(QStringLiteral(" | "))));
    out(QStringLiteral("stuck=%1 answered=%2").arg(stuck).arg(answered ? 1 : 0));
    recorder->stopRecord();
    recorder.reset();
    out(QStringLiteral("done"));
    return 0;
}

// One message that ends the process through the class information's role
// rule; still running afterwards is the failure.
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

struct Entry {
    qint64 size = 0;
    QDateTime modified;
};

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
    QHash<QString, QString> values;
    QString output;
    QString errors;
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

// Where the client may write: its data root and per-user settings, its cache
// (Qt's compiled QML), the runtime folder, and the fallback log in its
// temporary folder; the folders above them change as those appear.
bool allowedWrite(const QString &relative)
{
    static const QStringList allowed = { "/sandbox", "/sandbox/home", "/sandbox/home/.config", "/sandbox/home/.cache",
        "/sandbox/tmp", "/sandbox/home/.config/kestrelon", "/sandbox/home/.cache/kestrelon", "/sandbox/run",
        "/sandbox/tmp/logs" };
    static const QStringList trees = { "/sandbox/home/.config/kestrelon/", "/sandbox/home/.cache/kestrelon/",
        "/sandbox/run/", "/sandbox/tmp/logs/" };
    if (allowed.contains(relative))
        return true;
    for (const QString &tree : trees)
        if (relative.startsWith(tree))
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
    EXPECT_EQ(run.values.value("stuck"), QStringLiteral("0"));
    EXPECT_EQ(run.values.value("qmlWarnings"), QStringLiteral("0"));
    EXPECT_EQ(run.values.value("internalFailures"), QStringLiteral("0"));
    EXPECT_EQ(run.values.value("badLogLines"), QStringLiteral("0"));
    EXPECT_EQ(run.values.value("wrongCloses"), QStringLiteral("0"));
    EXPECT_GE(run.values.value("closes").toInt(), run.values.value("expectedCloses").toInt());
    EXPECT_LE(run.values.value("closes").toInt(), run.values.value("possibleCloses").toInt());
    EXPECT_GE(run.values.value("sent").toInt(), 95000 * run.values.value("messages").toInt() / kDefaultCount);

    // Nothing written outside the client's folders: not beside its sandbox,
    // not in its working directory, not in the machine's temporary folder.
    const QHash<QString, Entry> after = snapshot(root);
    QStringList strays;
    for (auto it = after.constBegin(); it != after.constEnd(); ++it) {
        const auto old = before.constFind(it.key());
        const bool changed = old == before.constEnd() || old->size != it->size || old->modified != it->modified;
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
    const quint64 seed = qEnvironmentVariableIsSet("LUMIRA_FUZZ_SEED")
        ? qEnvironmentVariable("LUMIRA_FUZZ_SEED").toULongLong()
        : kDefaultSeed;
    std::printf("seed %llu (set LUMIRA_FUZZ_SEED to change it)\n", static_cast<unsigned long long>(seed));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

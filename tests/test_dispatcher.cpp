// The page dispatcher with the real registry queue.
#include "DispatcherHarness.h"
#include "GTestMain.h"
#include "TestEnv.h"

#include "media/SimRoomControl.h"
#include "web/LMRUserInfo.h"

#include <QApplication>
#include <QFileInfo>
#include <QJSEngine>
#include <QQmlExpression>

#include <gtest/gtest.h>

#include <simroom/SimRoom.h>

using dispatcher::Dispatcher;

namespace
{

// Takes or refuses names, or throws as a failing native call does.
class RecorderDouble : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE bool startRecord(QString token, QString userId, QString role)
    {
        started << token + QLatin1Char('|') + userId + QLatin1Char('|') + role;
        return accept;
    }
    Q_INVOKABLE void stopRecord()
    {
        ++stops;
        if (throwOnStop && engine)
            engine->throwError(QStringLiteral("recorder stopped working"));
    }
    Q_INVOKABLE bool handUpload(QString token, bool callH5)
    {
        Q_UNUSED(callH5)
        uploads << token;
        return accept;
    }
    Q_INVOKABLE void autoUpload() { }
    Q_INVOKABLE void switchChannel() { }

    QJSEngine *engine = nullptr;
    bool accept = true;
    bool throwOnStop = false;
    QStringList started;
    QStringList uploads;
    int stops = 0;
};

// The last reply to each id.
struct Replies {
    explicit Replies(Dispatcher &d)
    {
        d.page.onReply
            = [this](const QJsonObject &reply) { byId.insert(reply.value("id").toVariant().toString(), reply); };
    }
    bool has(const QString &id) const { return byId.contains(id); }
    QJsonObject operator[](const QString &id) const { return byId.value(id); }
    QHash<QString, QJsonObject> byId;
};

QString msg(const QJsonObject &obj) { return QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact)); }

bool isFailure(const QJsonObject &reply, int code)
{
    return reply.value("status").toString() == QLatin1String("failure") && reply.value("failureVal").toInt() == code;
}

} // namespace

TEST(Dispatcher, ThrowingHandlersAreCompletedAnsweredAndLogged)
{
    RecorderDouble recorder;
    recorder.throwOnStop = true;
    Dispatcher d({ { "recordDispatcher", &recorder } });
    ASSERT_TRUE(d.item) << d.errors.toStdString();
    recorder.engine = &d.engine;
    Replies replies(d);
    const int logStart = testenv::logText().size();

    // Queued: the quit handler throws in stopRecord; the next request behind
    // it in the registry must still run.
    d.post(msg({ { "request", "quitclassroom://" }, { "id", "q1" } }));
    d.post(msg({ { "request", "system_info://" }, { "id", "s1" } }));
    ASSERT_TRUE(d.settle());
    ASSERT_TRUE(replies.has("q1"));
    EXPECT_TRUE(isFailure(replies["q1"], 4));
    EXPECT_EQ(replies["s1"].value("status").toString(), QStringLiteral("success"));
    EXPECT_TRUE(LMRMsgId::instance()->queuedKeys().isEmpty());
    EXPECT_EQ(recorder.stops, 1); // handled once, not offered again

    // Direct: the same failure outside the queue.
    d.post(msg({ { "request", "record://" }, { "id", "r1" }, { "oper", "stop" }, { "token", "t" } }));
    EXPECT_TRUE(isFailure(replies["r1"], 4));

    const QString log = testenv::logText().mid(logStart);
    EXPECT_EQ(log.count(QStringLiteral("request failed: Error: recorder stopped working request:quitclassroom://")), 1);
    EXPECT_EQ(log.count(QStringLiteral("信息已消费，key:quitclassroom://")), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("request failed: Error: recorder stopped working request:record://")));
}

TEST(Dispatcher, BadPercentEncodingIsKeptAsSentAndLogged)
{
    RecorderDouble recorder;
    Dispatcher d({ { "recordDispatcher", &recorder } });
    Replies replies(d);
    const int logStart = testenv::logText().size();
    d.post(msg({ { "request", "reupload_audio://lesson_token=%E0%A4%A" }, { "id", "p1" } }));
    d.post(msg({ { "request", "reupload_audio://lesson_token=lesson%2D7" }, { "id", "p2" } }));
    d.post(msg({ { "request", "js_log_write://log=%" }, { "id", "p3" } }));
    ASSERT_TRUE(d.settle());
    EXPECT_EQ(recorder.uploads, QStringList({ "%E0%A4%A", "lesson-7" }));
    EXPECT_EQ(replies["p1"].value("status").toString(), QStringLiteral("success"));
    const QString log = testenv::logText().mid(logStart);
    EXPECT_TRUE(log.contains(QStringLiteral("bad percent-encoding kept as sent: %E0%A4%A")));
    EXPECT_TRUE(log.contains(QStringLiteral("H5 log:%")));
    EXPECT_FALSE(log.contains(QStringLiteral("request failed")));
}

TEST(Dispatcher, MissingOrMistypedFieldsAreRefusedAndNothingIsStored)
{
    RecorderDouble recorder;
    Dispatcher d({ { "recordDispatcher", &recorder } });
    Replies replies(d);
    LMRConfig *config = LMRConfig::instance();
    config->setUserID(QStringLiteral("before"));
    const QString userBefore = LMRUserInfo::instance()->userId();

    // One at a time: a second message of a scheme replaces the queued one.
    const QVector<QJsonObject> refused = {
        { { "request", "user://" }, { "id", "u1" }, { "userType", "teacher" }, { "userName", "T" } },
        { { "request", "user://" }, { "id", "u2" }, { "userType", 7 }, { "userID", "1" }, { "userName", "T" } },
        { { "request", "user://" }, { "id", "u3" }, { "userType", "teacher" }, { "userID", "1" } },
        { { "request", "user://" }, { "id", "u5" }, { "userType", "teacher" }, { "userID", "../1" },
            { "userName", "T" } },
    };
    for (const QJsonObject &request : refused) {
        d.post(msg(request));
        ASSERT_TRUE(d.settle());
        const QJsonObject reply = replies[request.value("id").toString()];
        EXPECT_TRUE(isFailure(reply, 2)) << msg(request).toStdString();
        EXPECT_EQ(reply.value("failureMsg").toString(), QStringLiteral("missing or bad userType, userID or userName"));
    }
    EXPECT_EQ(config->getUserID(), QStringLiteral("before"));
    EXPECT_EQ(LMRUserInfo::instance()->userId(), userBefore);

    // A numeric id is a page's usual spelling and is taken as text.
    d.post(msg({ { "request", "user://" }, { "id", "u4" }, { "userType", "student" }, { "userID", 20002 },
        { "userName", "S" } }));
    ASSERT_TRUE(d.settle());
    EXPECT_EQ(replies["u4"].value("status").toString(), QStringLiteral("success"));
    EXPECT_EQ(config->getUserID(), QStringLiteral("20002"));
    EXPECT_EQ(LMRUserInfo::instance()->userToken(), QString());

    // Recording names: missing, not plain, or refused by the recorder.
    LMRUserInfo::instance()->setCourseToken(QStringLiteral("lesson-0"));
    const QVector<QPair<QJsonValue, QJsonValue>> badNames
        = { { QJsonValue::Undefined, "1" }, { "../../x", "1" }, { "t", QJsonArray { 1 } } };
    for (const auto &name : badNames) {
        QJsonObject request { { "request", "record://" }, { "id", "r" }, { "oper", "start" },
            { "userId", name.second } };
        if (!name.first.isUndefined())
            request.insert("token", name.first);
        d.post(msg(request));
        EXPECT_TRUE(isFailure(replies["r"], 2)) << msg(request).toStdString();
        replies.byId.remove("r");
    }
    EXPECT_TRUE(recorder.started.isEmpty());
    recorder.accept = false;
    d.post(msg({ { "request", "record://" }, { "id", "r4" }, { "oper", "start" }, { "token", "lesson-1" },
        { "userId", "1" }, { "cls_user_type", "teacher" } }));
    EXPECT_EQ(recorder.started, QStringList({ "lesson-1|1|teacher" }));
    EXPECT_TRUE(isFailure(replies["r4"], 2));
    EXPECT_EQ(replies["r4"].value("failureMsg").toString(), QStringLiteral("bad recording name"));
    EXPECT_EQ(LMRUserInfo::instance()->getCourseToken(), QStringLiteral("lesson-0"));
    recorder.accept = true;
    d.post(msg({ { "request", "record://" }, { "id", "r5" }, { "oper", "start" }, { "token", "lesson-2" },
        { "userId", "1" } }));
    EXPECT_EQ(replies["r5"].value("status").toString(), QStringLiteral("success"));
    EXPECT_EQ(recorder.started.last(), QStringLiteral("lesson-2|1|"));
    EXPECT_EQ(LMRUserInfo::instance()->getCourseToken(), QStringLiteral("lesson-2"));

    // Re-uploads: plain names go to the recorder, the others are counted.
    d.post(msg({ { "request", "reupload_audio_list://" }, { "id", "l1" }, { "lesson_token_list", "a,../b,,c" } }));
    EXPECT_EQ(recorder.uploads, QStringList({ "a", "c" }));
    EXPECT_TRUE(isFailure(replies["l1"], 2));
    EXPECT_EQ(replies["l1"].value("failureMsg").toString(), QStringLiteral("bad lesson token: 1 refused"));
    d.post(msg({ { "request", "reupload_audio://" }, { "id", "l2" } }));
    EXPECT_TRUE(isFailure(replies["l2"], 2));
    EXPECT_EQ(recorder.uploads.size(), 2);
}

// Near misses of each name are not that request. Which spellings close the
// window is checked for every generated message by BridgeFuzz.
TEST(Dispatcher, RequestNamesAreMatchedWordForWordFromTheStart)
{
    RecorderDouble recorder;
    Dispatcher d({ { "recordDispatcher", &recorder } });
    Replies replies(d);
    const char *nearMisses[] = { "xuser://", "xjsVersion://", "agora://VoiceAgoraStateX", "reupload_audio_listx://" };
    for (const char *name : nearMisses)
        d.post(msg({ { "request", name }, { "id", name }, { "userType", "teacher" }, { "userID", "9" },
            { "userName", "X" }, { "lesson_token", "z" } }));
    d.post(msg({ { "request", "jsVersion://x" }, { "id", "path" } })); // the same scheme with a path
    ASSERT_TRUE(d.settle());
    for (const char *name : nearMisses)
        EXPECT_FALSE(replies.has(name)) << name;
    EXPECT_TRUE(replies.has("path"));
    EXPECT_TRUE(recorder.uploads.isEmpty());

    // Each list request goes to its own handler, whatever the order of the checks.
    d.post(msg({ { "request", "reupload_audio_list://" }, { "id", "m1" }, { "lesson_token_list", "p,q" } }));
    d.post(msg({ { "request", "reupload_audio://" }, { "id", "m2" }, { "lesson_token", "r" } }));
    EXPECT_EQ(recorder.uploads, QStringList({ "p", "q", "r" }));
}

// Page text with line breaks and control characters in every field, and the
// log left whole: BridgeFuzz (every line of its run's log is checked).

TEST(Dispatcher, OversizedMessagesAreRefusedWhereTheyEnterAndTheNextOneIsAnswered)
{
    Dispatcher d;
    Replies replies(d);
    const int logStart = testenv::logText().size();

    // 2 MiB through the transport, and past the bound by one byte straight in.
    const QString head = QStringLiteral("{\"request\":\"jsVersion://\",\"id\":\"big\",\"pad\":\"");
    const QString tail = QStringLiteral("\"}");
    d.post(head + QString(2 * 1024 * 1024, QLatin1Char('x')) + tail);
    d.call(head + QString(QCefClient::kMaxMessageBytes - head.size() - tail.size() + 1, QLatin1Char('y')) + tail);
    // Within the bound in characters, past it in UTF-8 bytes.
    d.post(head + QString(400 * 1024, QChar(0x4f60)) + tail);
    d.call(head + QString(400 * 1024, QChar(0x4f60)) + tail);
    EXPECT_FALSE(replies.has("big"));
    const QString log = testenv::logText().mid(logStart);
    EXPECT_EQ(log.count(QStringLiteral("page message refused, at least ")), 4);
    EXPECT_TRUE(
        log.contains(QStringLiteral("page message refused, at least %1 bytes, begins:%2")
                         .arg(head.size() + 2 * 1024 * 1024 + tail.size())
                         .arg(head + QString(QCefClient::kRefusedPrefixChars - head.size(), QLatin1Char('x')))));
    EXPECT_LT(log.size(), 4096); // a short prefix, not the message
    EXPECT_FALSE(log.contains(QStringLiteral("recv H5:")));

    // Exactly at the bound is taken; so is the next ordinary request.
    d.post(head + QString(QCefClient::kMaxMessageBytes - head.size() - tail.size(), QLatin1Char('z')) + tail);
    ASSERT_TRUE(replies.has("big"));
    d.post(msg({ { "request", "jsVersion://" }, { "id", "after" } }));
    EXPECT_EQ(replies["after"].value("successMsg").toString(), LMRConfig::instance()->getVersion());

    // A request this build does not publish is refused, not dropped.
    d.post(msg({ { "request", "simroom://config" }, { "id", "sim" }, { "joinError", 17 } }));
    EXPECT_TRUE(isFailure(replies["sim"], 1));
    EXPECT_EQ(replies["sim"].value("failureMsg").toString(), QStringLiteral("no simulated room in this build"));
}

// The window's device-test opener: refuses while the user is in class.
class DeviceTestGate : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE bool open()
    {
        ++asked;
        return !inClass;
    }
    bool inClass = true;
    int asked = 0;
};

TEST(Dispatcher, RefusedDeviceTestIsAnsweredAsAFailure)
{
    DeviceTestGate gate;
    Dispatcher d({ { QStringLiteral("deviceTestGate"), &gate } });
    ASSERT_TRUE(d.item) << d.errors.toStdString();
    Replies replies(d);
    QQmlExpression hook(d.engine.rootContext(), d.item.get(),
        QStringLiteral("deviceTestOpener = function () { return deviceTestGate.open() }"));
    hook.evaluate();
    ASSERT_FALSE(hook.hasError()) << hook.error().toString().toStdString();

    for (const char *id : { "inClass", "outOfClass" }) {
        d.post(msg({ { "request", "module_device_test://" }, { "id", id } }));
        ASSERT_TRUE(d.settle());
        EXPECT_EQ(isFailure(replies[id], 3), gate.inClass) << msg(replies[id]).toStdString();
        EXPECT_EQ(replies[id].value("status").toString() == QLatin1String("success"), !gate.inClass);
        gate.inClass = false;
    }
    EXPECT_EQ(gate.asked, 2);
}

// The log archive on the page's demand: answered at once; nothing is built
// for a user who has not signed in.
TEST(Dispatcher, LogUploadRequestIsAnswered)
{
    Dispatcher d;
    ASSERT_TRUE(d.item) << d.errors.toStdString();
    Replies replies(d);
    LMRConfig::instance()->setUserID(QStringLiteral("0"));
    d.post(msg({ { "request", "upload_log://" }, { "id", "u1" } }));
    ASSERT_TRUE(d.settle());
    EXPECT_EQ(replies["u1"].value("status").toString(), QStringLiteral("success"));
    EXPECT_FALSE(QFileInfo::exists(DirHelper::instance()->getAppData() + QStringLiteral("/0")));
}

// A room listener that hears nothing: the page's peer actions need a class.
struct QuietRoomListener : simroom::Listener {
    void onJoined(const std::string &, unsigned, int) override { }
    void onConnectionFailed() override { }
    void onRemoteUser(unsigned, bool) override { }
    void onVolume(unsigned, int) override { }
    void onStats(int, int) override { }
    void onCaptureAudio(const int16_t *, const simroom::AudioFormat &) override { }
    void onPlaybackAudio(const int16_t *, const simroom::AudioFormat &) override { }
    void onLocalVideo(const simroom::I420View &) override { }
    void onRemoteVideo(unsigned, const simroom::I420View &) override { }
};

// The demo page acts for a simulated peer; what the room cannot take is refused.
TEST(Dispatcher, SimulatedPeerActionsFromThePage)
{
    SimRoomControl control;
    Dispatcher d({ { "cppSimRoom", &control } });
    ASSERT_TRUE(d.item) << d.errors.toStdString();
    Replies replies(d);
    simroom::Config config;
    config.joinDelayMs = 60000; // joining is enough to take actions
    simroom::Room::instance().setConfig(config);
    QuietRoomListener listener;
    const auto post = [&](const char *id, const QJsonValue &uid, const QJsonValue &action) {
        d.post(msg({ { "request", "simroom://peer" }, { "id", id }, { "uid", uid }, { "action", action } }));
    };
    post("noClass", 20002, "camera_off");
    ASSERT_TRUE(d.settle());
    ASSERT_EQ(simroom::Room::instance().join(&listener, "123456", 10001, { 16000, 1, 160 }, { 48000, 2, 480 }), 0);
    post("ok", 20002, "camera_off");
    post("text", "20002x", "join");
    post("fraction", 20002.5, "join");
    post("huge", 1e12, "join");
    post("unknown", 20002, "dance");
    post("notText", 20002, 5);
    post("stranger", 777, "join");
    ASSERT_TRUE(d.settle());
    simroom::Room::instance().leave();
    EXPECT_EQ(
        replies["ok"].value("successMsg").toObject(), QJsonObject({ { "uid", 20002 }, { "action", "camera_off" } }));
    for (const char *id : { "noClass", "text", "fraction", "huge", "unknown", "notText", "stranger" })
        EXPECT_TRUE(isFailure(replies[id], 2)) << id << " " << msg(replies[id]).toStdString();
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("dispatcher");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QApplication app(argc, argv);
    testenv::programLogPath() = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_dispatcher.log");
    TSpdlog::create(testenv::programLogPath(), testenv::programLogPath());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "test_dispatcher.moc"

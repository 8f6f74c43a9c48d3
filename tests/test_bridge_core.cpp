// Message registry with its real consumer thread, class information and the
// notification texts.
#include "GTestMain.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "diag/SystemReport.h"
#include "web/LMRMsgId.h"
#include "web/LMRUserInfo.h"
#include "web/QCefClient.h"
#include "web/QMLNotify.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using testenv::logText;
using testenv::waitUntil;

namespace
{

void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

struct Offer {
    QString key, id, request, msg;
};

// A registry whose offers are recorded; `completeOnOffer` makes it behave like
// the dispatcher, which completes each message once handled.
struct Registry {
    explicit Registry(int waitMs, bool completeOnOffer = false)
        : registry(std::make_unique<LMRMsgId>(waitMs))
    {
        QObject::connect(registry.get(), &LMRMsgId::sgGetMsgId,
            [this, completeOnOffer](QString key, QString id, QString request, QString msg) {
                offers.append({ key, id, request, msg });
                if (completeOnOffer)
                    registry->completedMessage(key);
            });
    }
    std::unique_ptr<LMRMsgId> registry;
    QVector<Offer> offers;
};

} // namespace

TEST(MessageRegistry, OffersOneAtATimeInArrivalOrder)
{
    Registry r(3000, true);
    r.registry->addMessage("user://", "1", "user://", "{a}");
    r.registry->addMessage("joinclassroom://", "2", "joinclassroom://", "{b}");
    r.registry->addMessage("system_info://", "3", "system_info://", "{c}");
    // Well inside one wait period: a wake-up sent before the consumer first
    // waits must not be lost.
    ASSERT_TRUE(waitUntil([&] { return r.offers.size() >= 3; }, 1500));
    QStringList seen;
    for (const Offer &offer : r.offers)
        seen << offer.key + offer.id + offer.msg;
    EXPECT_EQ(seen, QStringList({ "user://1{a}", "joinclassroom://2{b}", "system_info://3{c}" }));
    EXPECT_TRUE(r.registry->queuedKeys().isEmpty());
}

TEST(MessageRegistry, SameKeyAgainReplacesTheRecordAndGoesToTheBack)
{
    Registry r(3000);
    r.registry->addMessage("a://", "1", "a://", "first");
    ASSERT_TRUE(waitUntil([&] { return r.offers.size() == 1; }, 1500));
    // The consumer now waits; adding to a non-empty queue does not wake it.
    r.registry->addMessage("b://", "2", "b://", "other");
    r.registry->addMessage("a://", "3", "a://", "second");
    EXPECT_EQ(r.registry->queuedKeys(), QStringList({ "b://", "a://" }));
    r.registry->completedMessage("zzz://");
    EXPECT_EQ(r.registry->queuedKeys(), QStringList({ "b://", "a://" }));
    EXPECT_TRUE(logText().contains(QStringLiteral("信息已消费，key:zzz://")));

    ASSERT_TRUE(waitUntil([&] { return r.offers.size() == 2; }, 1500));
    EXPECT_EQ(r.offers.last().key, QStringLiteral("b://"));
    r.registry->completedMessage("b://");
    ASSERT_TRUE(waitUntil([&] { return r.offers.size() == 3; }, 1500));
    EXPECT_EQ(r.offers.last().key, QStringLiteral("a://"));
    EXPECT_EQ(r.offers.last().id, QStringLiteral("3"));
    EXPECT_EQ(r.offers.last().msg, QStringLiteral("second"));
    EXPECT_TRUE(logText().contains(QStringLiteral("增加信息队列，key:a://,id:3,request:a://,msg:second")));
}

TEST(MessageRegistry, UncompletedMessageIsOfferedAgainAndAnEmptyQueueOffersNothing)
{
    Registry idle(150);
    spin(600);
    EXPECT_TRUE(idle.offers.isEmpty());

    Registry r(150);
    r.registry->addMessage("user://", "1", "user://", "x");
    ASSERT_TRUE(waitUntil([&] { return r.offers.size() >= 3; }, 5000));
    for (const Offer &offer : r.offers)
        EXPECT_EQ(offer.key, QStringLiteral("user://"));
    r.registry->completedMessage("user://");
    spin(100);
    const int settled = r.offers.size();
    spin(500);
    EXPECT_EQ(r.offers.size(), settled);
}

TEST(MessageRegistry, PendingCallbackHoldsBackTheNextOfferUntilCompleted)
{
    Registry r(3000, true);
    // Looking up an absent callback must not leave one pending.
    EXPECT_EQ(r.registry->getCallBackMessageID("zego://VoiceRoomLogout"), QString());
    EXPECT_FALSE(r.registry->hasCallBackMessage("zego://VoiceRoomLogout"));

    EXPECT_TRUE(r.registry->addCallBackMessage("trtc://VoiceRoomLogout", "7", "trtc://VoiceRoomLogout", "m"));
    EXPECT_EQ(r.registry->getCallBackMessageID("trtc://VoiceRoomLogout"), QStringLiteral("7"));
    EXPECT_TRUE(logText().contains(QStringLiteral("增加异步回调，key:trtc://VoiceRoomLogout,id:7")));
    r.registry->addMessage("user://", "1", "user://", "x");
    spin(300);
    EXPECT_TRUE(r.offers.isEmpty());
    r.registry->completedCallBackMessage("trtc://VoiceRoomLogout");
    EXPECT_FALSE(r.registry->hasCallBackMessage("trtc://VoiceRoomLogout"));
    ASSERT_TRUE(waitUntil([&] { return !r.offers.isEmpty(); }, 2000));
    EXPECT_EQ(r.offers.first().key, QStringLiteral("user://"));
}

TEST(MessageRegistry, DestructionEndsTheConsumerWithoutWaitingOutTheLimit)
{
    // A limit longer than the test's own: destruction must wake the wait,
    // or the test hangs (and its runner prints where).
    auto registry = std::make_unique<LMRMsgId>(3600 * 1000);
    registry->addCallBackMessage("agora://VoiceRoomLogout", "1", "agora://VoiceRoomLogout", "");
    registry->addMessage("user://", "1", "user://", "x");
    spin(100); // the consumer is now inside its callback wait
    registry.reset();
    EXPECT_TRUE(logText().contains(QStringLiteral("消费者退出")));
}

namespace
{

QString classInfo(int category, const QJsonArray &users, const QString &role = QStringLiteral("student"))
{
    QJsonObject obj { { "token", "class-1" }, { "classname", "数学" }, { "cls_user_type", role },
        { "cls_category", category }, { "users", users } };
    return QString::fromUtf8(QJsonDocument(obj).toJson());
}

const QJsonArray kMembers { QJsonObject { { "role", "teacher" }, { "uid", "t1" }, { "agora_id", "11" } },
    QJsonObject { { "role", "student" }, { "uid", "s1" } }, QJsonObject { { "role", "teacher" }, { "uid", "t2" } },
    QJsonObject { { "role", "jiaowu" }, { "uid", "j1" } } };

} // namespace

TEST(PageText, ControlCharactersAreEscapedAndSizesCountedInUtf8)
{
    EXPECT_EQ(TSpdlog::escapeControls(QStringLiteral("plain 你好 \\n")), QStringLiteral("plain 你好 \\n"));
    EXPECT_EQ(TSpdlog::escapeControls(QString::fromUtf16(u"a\r\nb\t\x1b\x7f\u0085\u2028\u2029") + QChar(0)),
        QStringLiteral("a\\r\\nb\\t\\x1b\\x7f\\x85\\u2028\\u2029\\x00"));

    // The registry's log line keeps a forged line inside its own.
    LMRMsgId registry(3000);
    registry.addMessage(QStringLiteral("user://"), QStringLiteral("1\r\n[2026-01-01 00:00:00.000] forged"),
        QStringLiteral("user://"), QStringLiteral("{}"));
    EXPECT_TRUE(logText().contains(QStringLiteral("id:1\\r\\n[2026-01-01 00:00:00.000] forged,request:user://")));

    // UTF-8 sizes of valid text as toUtf8() makes them (a pair is 4 bytes);
    // a lone surrogate counts as the 3 bytes of a replacement character.
    const QString valid = QStringLiteral("aé你") + QString::fromUtf16(u"\U0001F600") + QChar(0xd800) + QChar(0xdc00);
    EXPECT_EQ(QCefClient::utf8Size(valid, 1000), valid.toUtf8().size());
    EXPECT_EQ(QCefClient::utf8Size(QString(QChar(0xdbff)) + QStringLiteral("z") + QChar(0xdc00), 1000), 7);
    // Counting stops just past the limit; a text longer than the limit in
    // characters is over it without counting.
    EXPECT_EQ(QCefClient::utf8Size(QString(60, QChar(0x4f60)), 100), 102);
    EXPECT_EQ(QCefClient::utf8Size(QString(5000, QLatin1Char('x')), 100), 5000);
}

TEST(ClassInfo, CategoriesRolesAndMembers)
{
    LMRUserInfo info;
    EXPECT_TRUE(info.getIsEnterUnknow());
    info.setUserInfo("jiaowu", "42", "Ann", "tok");
    EXPECT_EQ(info.userRole(), LMRUserInfo::UserRole_Assistant);

    // 1VN (7) is never parsed.
    const QVector<QPair<int, LMRUserInfo::ClassType>> categories = { { 1, LMRUserInfo::ClassType_1V1 },
        { 4, LMRUserInfo::ClassType_1V1 }, { 5, LMRUserInfo::ClassType_MiniClass },
        { 7, LMRUserInfo::ClassType_Unknow }, { 6, LMRUserInfo::ClassType_TrainingClass } };
    for (const auto &category : categories) {
        info.setClassRoomInfo(classInfo(category.first, kMembers, "teacher"));
        EXPECT_EQ(info.getClassType(), category.second) << category.first;
    }
    EXPECT_TRUE(logText().contains(QStringLiteral("fatal class type unknow")));
    EXPECT_EQ(info.getInnerClassUserRole(), LMRUserInfo::UserRole_Teacher);

    const QJsonObject first = QJsonDocument::fromJson(info.get1V1TeacherInfo().toUtf8()).object();
    EXPECT_EQ(first.value("agora_id").toString(), QStringLiteral("11"));
    const QJsonArray teachers = QJsonDocument::fromJson(info.get1VNTeacherInfo().toUtf8()).array();
    ASSERT_EQ(teachers.size(), 2);
    EXPECT_EQ(teachers[1].toObject().value("uid").toString(), QStringLiteral("t2"));
    EXPECT_EQ(QJsonDocument::fromJson(info.get1V1AssistantInfo().toUtf8()).object().value("uid").toString(), "j1");
    EXPECT_EQ(QJsonDocument::fromJson(info.get1VNStudentInfo().toUtf8()).array().size(), 1);

    // Leaving the class forgets its members and room, not its token.
    info.setUseMediaType(LMRUserInfo::MediaType_TRtc);
    EXPECT_TRUE(info.isInClassRooom());
    info.resetClassUserInfo();
    EXPECT_FALSE(info.isInClassRooom());
    EXPECT_EQ(info.getUserMediaTypeString(), QStringLiteral("unknow"));
    EXPECT_EQ(info.classToken(), QStringLiteral("class-1"));
    EXPECT_EQ(info.getClassType(), LMRUserInfo::ClassType_Unknow);
    EXPECT_EQ(QJsonDocument::fromJson(info.get1VNTeacherInfo().toUtf8()).array().size(), 0);
    EXPECT_TRUE(QJsonDocument::fromJson(info.get1V1TeacherInfo().toUtf8()).object().isEmpty());
}

namespace
{

// The fatal role rules end the process: run each in a child of this binary.
void runFatalCase(const QString &name, const QString &expectedLine)
{
    QFile::remove(testenv::programLogPath());
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--fatal-child=") + name });
    ASSERT_TRUE(child.waitForFinished(20000)) << name.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << name.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << name.toStdString();
    const QString log = logText();
    EXPECT_TRUE(log.contains(QStringLiteral("[Other_Type] ") + expectedLine + QStringLiteral("\r\n")))
        << name.toStdString() << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("survived"))) << name.toStdString();
}

int fatalChild(const QString &name)
{
    LMRUserInfo info;
    if (name == QLatin1String("class"))
        info.setClassRoomInfo(classInfo(1, kMembers, "visitor"));
    else
        info.setClassRoomInfo(QStringLiteral("{not json"));
    TSpdlog::instance()->otherError(QStringLiteral("survived"));
    TSpdlog::flushAll();
    return 3;
}

} // namespace

// Unknown roles of the user and of a member: BridgeFuzz.UnknownRolesEndTheProcessThroughTheDispatcher.
TEST(ClassInfo, AnUnknownOwnRoleOrMalformedClassEndsTheProcessWithTheFatalLine)
{
    runFatalCase(QStringLiteral("class"), QStringLiteral("Fatal:error role error"));
    runFatalCase(QStringLiteral("malformed"), QStringLiteral("Fatal:error role error"));
}

// Parsed rather than compared as text: the page reads them as JSON.
TEST(Notifications, FunctionNamesAndArgumentOrder)
{
    QMLNotify *n = QMLNotify::instance();
    const QVector<QPair<QString, QJsonObject>> cases = {
        { n->callH5_jsVideoHeightWidth(720, 0), { { "func", "jsVideoHeight" }, { "param", QJsonArray { 720 } } } },
        { n->callH5_jsNotifyMicStatus(true),
            { { "func", "jsDeviceStatusNotify" }, { "param", QJsonArray { "ON", "mic" } } } },
        { n->callH5_jsNotifyCameraStatus(false),
            { { "func", "jsDeviceStatusNotify" }, { "param", QJsonArray { "OFF", "camera" } } } },
        { n->callH5_quitClassRoom(), { { "func", "jsQuitRoomNotify" }, { "param", QJsonArray { "" } } } },
        { n->callH5_jsGoOutClassRomm(), { { "func", "goOutClassRoom" }, { "param", QJsonArray { "" } } } },
        { n->callH5_jsTransferAudioURL("first", "second"),
            { { "func", "jsTransferAudioURL" }, { "param", QJsonArray { "second", "first" } } } },
        { n->callH5_jsUploadProcessNotify("tok", "upload_progress", "42"),
            { { "func", "jsUploadProcessNotify" }, { "param", QJsonArray { "upload_progress", "42", "tok" } } } },
    };
    for (const auto &c : cases)
        EXPECT_EQ(QJsonDocument::fromJson(c.first.toUtf8()).object(), c.second) << c.first.toStdString();
    EXPECT_EQ(n->callH5_jsSetting("writingPad", true), QStringLiteral("jsFunCtrl({\n    \"writingPad\": true\n}\n)"));
}

// The report and the machine's figures: test_diag's SystemReport tests.
TEST(Notifications, AConfiguredMemoryFigureWins)
{
    QMLNotify *n = QMLNotify::instance();
    LMRConfig::instance()->setValue("System/RAM", 0);
    EXPECT_EQ(n->getTotalMemory(), SystemReport::instance()->memoryFigures().value("SystemPhysicalTotalRAM"));
    LMRConfig::instance()->setValue("System/RAM", "8192");
    EXPECT_EQ(n->getTotalMemory(), 8192);
    LMRConfig::instance()->setValue("System/RAM", 0);
}

int main(int argc, char **argv)
{
    const QString childArg = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const bool child = childArg.startsWith(QLatin1String("--fatal-child="));
    if (!child)
        testenv::enterSandbox("bridgecore"); // a child inherits its parent's sandbox
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    testenv::programLogPath() = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_core.log");
    TSpdlog::create(testenv::programLogPath(), testenv::programLogPath());
    if (child)
        return fatalChild(childArg.mid(int(qstrlen("--fatal-child="))));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The lock screen on an X server and a sound server of the test's own: the
// switching keys, other programs' sound, and what the lock companion undoes
// when a locked client is killed.
#include "GTestMain.h"
#include "PrivateXServer.h"
#include "SoundServer.h"
#include "TestEnv.h"

#include "app/AppStartup.h"
#include "platform/ExecutableName.h"
#include "ui/LockRecord.h"
#include "ui/LockScreen.h"
#include "ui/Tools.h"
#include "web/QMLNotify.h"

#include <QApplication>
#include <QAudioOutput>
#include <QFile>
#include <QGuiApplication>
#include <QQuickView>
#include <QScreen>
#include <QSignalSpy>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

// Xlib defines names (Status, KeyPress, None) that Qt headers use: last.
#include "LockCheck.h"

namespace
{

using lockcheck::mutedOf;

// This process's own stream: silence through Qt Multimedia, as the client plays.
class Silence : public QIODevice
{
public:
    Silence() { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        std::memset(data, 0, size_t(size));
        return size;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
};

bool companionRunning()
{
    return Tools::isProcessRunning(lumira::platform::executableFileName(QString::fromLatin1(LockScreen::kCompanion)));
}

class Lock : public ::testing::Test
{
protected:
    void SetUp() override
    {
        lumira::shapeMainView(view); // the client's flags, name and zoom
        view.setGeometry(100, 100, 640, 360);
        view.show();
        lock.setMainView(&view);
    }
    void TearDown() override
    {
        if (lock.getIsLockScreen())
            lock.stopLock();
    }

    QQuickView view;
    LockScreen lock;
};

TEST_F(Lock, SwitchingKeysAreSwallowedOnlyWhileLocked)
{
    lockcheck::TestWindow window;
    ASSERT_TRUE(window.ok());
    for (KeySym sym : { XK_Alt_L, XK_Control_L, XK_Shift_L, XK_Super_L, XK_Super_R, XK_Tab, XK_Escape, XK_F4 })
        ASSERT_TRUE(window.hasKey(sym)) << "the keymap lacks " << XKeysymToString(sym);
    const unsigned num = window.numLockMask();
    ASSERT_NE(num, 0u);
    const struct {
        const char *name;
        unsigned mask;
    } lockStates[] = { { "no lock key", 0 }, { "NumLock", num }, { "CapsLock", LockMask },
        { "NumLock+CapsLock", num | LockMask } };

    // Unlocked, every combination reaches the window: the typing works.
    for (const auto &combo : lockcheck::switchingCombos())
        EXPECT_TRUE(window.typeReaches(combo)) << combo.name << " before the lock";

    lock.startLock();
    ASSERT_TRUE(lock.getIsLockScreen());
    for (const auto &state : lockStates) {
        window.setLocks(state.mask);
        for (const auto &combo : lockcheck::switchingCombos()) {
            bool lost = false;
            EXPECT_FALSE(window.typeReaches(combo, &lost)) << combo.name << " with " << state.name;
            EXPECT_FALSE(lost) << "typing after " << combo.name << " with " << state.name;
        }
        for (const auto &combo : lockcheck::ordinaryCombos())
            EXPECT_TRUE(window.typeReaches(combo)) << combo.name << " with " << state.name;
    }
    window.setLocks(0);

    lock.stopLock();
    EXPECT_EQ(lockcheck::combosHeldElsewhere(), 0);
    for (const auto &state : lockStates) {
        window.setLocks(state.mask);
        for (const auto &combo : lockcheck::switchingCombos())
            EXPECT_TRUE(window.typeReaches(combo)) << combo.name << " with " << state.name << " after the lock";
    }
}

TEST_F(Lock, OtherProgramsAreMutedWhileLockedAndExactlyThoseComeBack)
{
    QAudioFormat format;
    format.setSampleRate(16000);
    format.setChannelCount(1);
    format.setSampleSize(16);
    format.setCodec(QStringLiteral("audio/pcm"));
    format.setSampleType(QAudioFormat::SignedInt);
    format.setByteOrder(QAudioFormat::LittleEndian);
    Silence silence;
    QAudioOutput own(format);
    own.start(&silence);
    const qint64 self = ::getpid();

    QProcess *playing = lockcheck::startSilence();
    QProcess *mutedBefore = lockcheck::startSilence();
    // A player under the browser subprocess's name, started by us: the
    // browser's own sound.
    const QString browser = testenv::sandboxRoot() + QStringLiteral("/QtWebEngineProcess");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/usr/bin/pacat"), browser));
    QProcess *page = lockcheck::startSilence(browser);
    ASSERT_TRUE(testenv::waitUntil([&]() {
        return mutedOf(self) == 0 && mutedOf(playing->processId()) == 0 && mutedOf(mutedBefore->processId()) == 0
            && mutedOf(page->processId()) == 0;
    })) << "four streams play";
    QProcess::execute(QStringLiteral("pactl"),
        { QStringLiteral("set-sink-input-mute"), lockcheck::streamIdOf(mutedBefore->processId()),
            QStringLiteral("1") });
    ASSERT_EQ(mutedOf(mutedBefore->processId()), 1);

    QSignalSpy locked(&lock, &LockScreen::sgLock);
    QSignalSpy unlocked(&lock, &LockScreen::sgUnLock);
    QSignalSpy toasts(QMLNotify::instance(), &QMLNotify::sgNotifyH5);
    lock.startLock();

    EXPECT_EQ(locked.count(), 1);
    EXPECT_EQ(mutedOf(playing->processId()), 1);
    EXPECT_EQ(mutedOf(self), 0) << "our own sound plays on";
    EXPECT_EQ(mutedOf(page->processId()), 0) << "the browser's sound plays on";
    EXPECT_EQ(view.geometry(), QGuiApplication::primaryScreen()->geometry()) << "over the whole screen";
    EXPECT_TRUE(testenv::waitUntil(companionRunning, 5000));
    ASSERT_GE(toasts.count(), 1);
    EXPECT_TRUE(toasts.last().at(0).toString().contains(QStringLiteral("您的电脑桌面已被锁定为Lumira")))
        << toasts.last().at(0).toString().toStdString();
    EXPECT_TRUE(toasts.last().at(0).toString().contains(QStringLiteral("1500")));
    lumira::lockrecord::Record record;
    QString error;
    ASSERT_TRUE(lumira::lockrecord::read(LockScreen::recordPath(), &record, &error)) << error.toStdString();
    EXPECT_EQ(record.clientPid, self);
    ASSERT_EQ(record.muted.size(), 1) << "only the stream this lock muted";
    EXPECT_EQ(record.muted.first().pid, playing->processId());

    // Locking twice changes nothing.
    lock.startLock();
    EXPECT_EQ(locked.count(), 1);

    lock.stopLock();
    EXPECT_EQ(unlocked.count(), 1);
    EXPECT_EQ(mutedOf(playing->processId()), 0);
    EXPECT_EQ(mutedOf(mutedBefore->processId()), 1) << "muted by its user before the lock";
    EXPECT_EQ(mutedOf(self), 0);
    EXPECT_FALSE(QFile::exists(LockScreen::recordPath()));
    EXPECT_TRUE(testenv::waitUntil([]() { return !companionRunning(); }, 5000)) << "killed, and gone once reaped";
    EXPECT_TRUE(toasts.last().at(0).toString().contains(QStringLiteral("您的电脑桌面已解除锁定")));

    own.stop();
    lockcheck::stopSilence(playing);
    lockcheck::stopSilence(mutedBefore);
    lockcheck::stopSilence(page);
}

// A locked client killed outright: its key grabs go with its X connection,
// and the companion unmutes the other program's stream.
TEST(LockCompanion, UndoesTheLockOfAKilledClient)
{
    QProcess *playing = lockcheck::startSilence();
    ASSERT_TRUE(testenv::waitUntil([&]() { return mutedOf(playing->processId()) == 0; }));
    ASSERT_EQ(lockcheck::combosHeldElsewhere(), 0);

    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QStringLiteral(LUMIRA_LOCK_CHILD), QStringList());
    ASSERT_TRUE(client.waitForStarted());
    ASSERT_TRUE(testenv::waitUntil([&]() { return client.readAllStandardOutput().contains("locked"); }, 30000));
    EXPECT_EQ(mutedOf(playing->processId()), 1);
    EXPECT_GT(lockcheck::combosHeldElsewhere(), 0) << "the locked client holds the keys";
    ASSERT_TRUE(testenv::waitUntil(companionRunning, 5000));

    ::kill(pid_t(client.processId()), SIGKILL);
    ASSERT_TRUE(client.waitForFinished(5000));
    EXPECT_TRUE(testenv::waitUntil([&]() { return mutedOf(playing->processId()) == 0; }, 2000))
        << "the companion unmutes within 2 s";
    EXPECT_EQ(lockcheck::combosHeldElsewhere(), 0) << "no grab outlives the client";
    EXPECT_TRUE(testenv::waitUntil([]() { return !companionRunning(); }, 5000)) << "the companion ends";
    EXPECT_FALSE(QFile::exists(LockScreen::recordPath()));

    lockcheck::stopSilence(playing);
}

// The companion acts on a record of its client only, and on bad records not at all.
TEST(LockCompanion, LeavesStreamsAloneForForeignOrBrokenRecords)
{
    QProcess *playing = lockcheck::startSilence();
    ASSERT_TRUE(testenv::waitUntil([&]() { return mutedOf(playing->processId()) == 0; }));
    const QString id = lockcheck::streamIdOf(playing->processId());
    QProcess::execute(QStringLiteral("pactl"), { QStringLiteral("set-sink-input-mute"), id, QStringLiteral("1") });
    const QString path = testenv::sandboxRoot() + QStringLiteral("/record.json");
    const QString companion = QStringLiteral(LUMIRA_BIN_DIR "/lumira_lock");

    // A process id nobody has stands for the ended client; the record names another one.
    qint64 gonePid = 4000000;
    while (gonePid > 2 && (::kill(pid_t(gonePid), 0) == 0 || errno != ESRCH))
        --gonePid;
    ASSERT_TRUE(lumira::lockrecord::write(path, { gonePid + 1, { { id, playing->processId(), "pacat" } } }));
    EXPECT_EQ(QProcess::execute(companion, { "--watch", QString::number(gonePid), "--record", path }), 0);
    EXPECT_EQ(mutedOf(playing->processId()), 1) << "a record of another client";

    for (const QByteArray &broken : { QByteArray("{\"muted\": 5"), QByteArray("not json"), QByteArray() }) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(broken);
        file.close();
        EXPECT_EQ(QProcess::execute(companion, { "--watch", QString::number(gonePid), "--record", path }), 0);
        EXPECT_EQ(mutedOf(playing->processId()), 1) << broken.constData();
    }
    // A stream id now playing for another process is not touched.
    ASSERT_TRUE(lumira::lockrecord::write(path, { gonePid, { { id, playing->processId() + 1, "other" } } }));
    EXPECT_EQ(QProcess::execute(companion, { "--watch", QString::number(gonePid), "--record", path }), 0);
    EXPECT_EQ(mutedOf(playing->processId()), 1);

    EXPECT_NE(QProcess::execute(companion, { "--watch", "0" }), 0) << "no record named";
    lockcheck::stopSilence(playing);
}

} // namespace

int main(int argc, char **argv)
{
    testenv::enterSandbox("lock");
    testenv::PrivateXServer screen({ QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x720x24") });
    if (!screen.ok()) {
        std::fprintf(stderr, "the private X server did not start\n");
        return 1;
    }
    screen.use();
    qputenv("QT_QPA_PLATFORM", "xcb");
    testenv::SoundServer sound;
    if (!sound.start(testenv::sandboxRoot() + QStringLiteral("/run/sound"))) {
        std::fprintf(stderr, "the private sound server did not start\n");
        return 1;
    }
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    QApplication app(argc, argv);
    testenv::programLogPath() = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_lock.log");
    TSpdlog::create(testenv::programLogPath(), testenv::programLogPath());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

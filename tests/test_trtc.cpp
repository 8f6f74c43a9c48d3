// The TRTC adapter against the LiteAV stand-in it loads at run time and the
// simulated room behind it, with the room's own threads calling back; and the
// client binary when the library or an entry point is missing.
#include "EngineCheck.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "media/LMRTRtc.h"
#include "media/video/BCQmlRenderView.h"
#include "platform/SharedLibraryName.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLibrary>
#include <QMutex>
#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

#include <simroom/SimRoom.h>

using enginecheck::fastRoom;
using enginecheck::spin;
using enginecheck::Surface;
using testenv::logText;
using testenv::waitUntil;

namespace
{

// The cloud the adapter holds: the library's one shared instance.
ITRTCCloud *sharedCloud()
{
    static QLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/LiteAV/")
        + lumira::platform::sharedLibraryFileName(QStringLiteral("liteav")));
    auto get = reinterpret_cast<GetTRTCShareInstance>(library.resolve("getTRTCShareInstance"));
    return get ? get() : nullptr;
}

QString currentCameraPid()
{
    ITRTCDeviceInfo *info = sharedCloud()->getCurrentCameraDevice();
    const QString pid = QString::fromUtf8(info->getDevicePID());
    info->release();
    return pid;
}

struct Adapter {
    explicit Adapter(const simroom::Config &config = fastRoom(), LMRTRtc::CameraCheck check = {})
        : trtc(nullptr, std::move(check))
    {
        simroom::Room::instance().setConfig(config);
        trtc.init();
    }
    ~Adapter()
    {
        if (trtc.inRoom())
            trtc.exitRoom();
        trtc.release();
    }
    void enter() { trtc.enterRoom(QStringLiteral("10001"), QStringLiteral("demo-sig"), 123456); }
    LMRTRtc trtc;
    enginecheck::Watch<LMRTRtc> w { trtc };
};

} // namespace

TEST(TRtc, RefusedEntryNeverJoinsAndRoomEntryFailureLeaves)
{
    simroom::Config failing = fastRoom();
    failing.joinError = 17;
    {
        Adapter a(failing);
        a.enter();
        ASSERT_TRUE(waitUntil([] { return logText().contains(QStringLiteral("TRtc 进入房间失败:-17")); }, 3000));
        spin(200);
        EXPECT_EQ(a.w.joined, 0);
        EXPECT_EQ(a.w.left, 0) << "never in the room, so no leavingChannel";
        EXPECT_TRUE(logText().contains(QStringLiteral("TRtc 错误 errorCode:-3301 errorInfo:enter room failed")));
        a.trtc.onEnterRoom(-3316);
        spin(100);
        EXPECT_EQ(a.w.joined, 0);
        EXPECT_FALSE(a.trtc.inRoom());
    }

    // In the room: another error is only logged, -3301 leaves.
    Adapter a;
    a.trtc.enableLocalAudio(true);
    a.enter();
    ASSERT_TRUE(waitUntil([&] { return a.w.joined == 1 && a.w.probe.counts().first > 5; }, 3000));
    a.trtc.onError(TXLiteAVError(-1302), "camera busy\nforged line", nullptr);
    spin(300);
    EXPECT_EQ(a.w.left, 0);
    EXPECT_TRUE(logText().contains(QStringLiteral("TRtc 错误 errorCode:-1302 errorInfo:camera busy\\nforged line")));
    const auto before = a.w.probe.counts();
    spin(200);
    EXPECT_GT(a.w.probe.counts().first, before.first);

    a.trtc.onError(ERR_ROOM_ENTER_FAIL, "room entry failed", nullptr);
    ASSERT_TRUE(waitUntil([&] { return a.w.left == 1; }, 3000));
    const auto after = a.w.probe.counts();
    spin(200);
    EXPECT_EQ(a.w.probe.counts(), after);
}

TEST(TRtc, VideoVolumesAndDelayOfThePeers)
{
    simroom::Config config = fastRoom();
    config.peers[0].leaveAfterMs = 1500;
    Adapter a(config);
    BCQmlRenderView remote, local;
    Surface remoteSurface, localSurface;
    remote.setVideoSurface(&remoteSurface);
    local.setVideoSurface(&localSurface);
    a.trtc.setupRemoteVideo(QStringLiteral("20002"), &remote);
    a.trtc.setupLocalVideo(&local);
    a.trtc.enableLocalVideo(true);
    a.trtc.enableLocalAudio(true);

    QList<QPair<QString, bool>> video;
    QObject::connect(&a.trtc, &LMRTRtc::userVideoAvailable, &a.trtc,
        [&](QString uid, bool available) { video << qMakePair(uid, available); });
    QList<QPair<QString, int>> volumes;
    QObject::connect(
        &a.trtc, &LMRTRtc::volumeChanged, &a.trtc, [&](QString uid, int v) { volumes << qMakePair(uid, v); });
    QList<int> delays;
    QObject::connect(&a.trtc, &LMRTRtc::rtcStats, &a.trtc, [&](int delay) { delays << delay; });

    a.enter();
    ASSERT_TRUE(waitUntil([&] { return video.size() == 2; }, 5000)) << "the peer joins and leaves";
    EXPECT_EQ(video[0], qMakePair(QStringLiteral("20002"), true));
    EXPECT_EQ(video[1], qMakePair(QStringLiteral("20002"), false));
    EXPECT_GT(remoteSurface.count, 3);
    EXPECT_EQ(remoteSurface.size(), QSize(480, 360)); // 640x360 cropped to 4:3
    EXPECT_GT(localSurface.count, 3);
    EXPECT_EQ(localSurface.size(), QSize(240, 180));

    // Every report carries the local user under the empty id: never passed on.
    ASSERT_FALSE(volumes.isEmpty());
    for (const auto &entry : volumes)
        EXPECT_EQ(entry, qMakePair(QStringLiteral("20002"), 100));
    ASSERT_TRUE(waitUntil([&] { return !delays.isEmpty(); }, 5000));
    EXPECT_GT(delays.first(), 0);

    const int remoteFrames = remoteSurface.count;
    spin(400);
    EXPECT_LE(remoteSurface.count, remoteFrames + 1) << "no frames of a peer who left";
}

TEST(TRtc, CameraChoiceNeedsTheClassFormat)
{
    QStringList asked;
    auto check = [&](const QString &uuid, int w, int h, int fps) {
        asked << QStringLiteral("%1 %2x%3@%4").arg(uuid).arg(w).arg(h).arg(fps);
        return uuid != QLatin1String("hd-only");
    };
    {
        LMRTRtc none(nullptr, check);
        EXPECT_FALSE(none.setCameraDrive(QStringLiteral("sim-camera")));
        EXPECT_FALSE(none.setMicDrive(QStringLiteral("sim-mic")));
        EXPECT_FALSE(none.setPlayerDrive(QStringLiteral("sim-speaker")));
        EXPECT_TRUE(asked.isEmpty()) << "no engine, nothing asked";
    }
    Adapter a(fastRoom(), check);
    EXPECT_TRUE(a.trtc.setCameraDrive(QStringLiteral("usb-Acme_Cam_123-video-index0")));
    EXPECT_EQ(currentCameraPid(), QStringLiteral("usb-Acme_Cam_123-video-index0"));
    EXPECT_FALSE(a.trtc.setCameraDrive(QStringLiteral("hd-only")));
    EXPECT_EQ(currentCameraPid(), QStringLiteral("usb-Acme_Cam_123-video-index0")) << "unchanged";
    EXPECT_EQ(asked.last(), QStringLiteral("hd-only 240x180@15"));
    // A virtual camera known by its name is selected by the SDK's PID.
    EXPECT_TRUE(a.trtc.setCameraDrive(QStringLiteral("YY开播")));
    EXPECT_EQ(currentCameraPid(), QStringLiteral("sim-yy-camera"));
    EXPECT_TRUE(a.trtc.setMicDrive(QStringLiteral("sim-mic")));
    EXPECT_TRUE(logText().contains(QStringLiteral("TRtc 设置麦克风 : sim-mic")));
    a.trtc.setMediaVolume(250);
    EXPECT_EQ(sharedCloud()->getCurrentSpeakerVolume(), 100u);
}

TEST(TRtc, CoursewarePositionList)
{
    LMRTRtc trtc;
    EXPECT_TRUE(trtc.getCurrentPos().isEmpty()) << "no engine";
    EXPECT_EQ(trtc.playMedia(QStringLiteral("/nothing.mp3")), 0);
    EXPECT_FALSE(trtc.pauseMedia());
    trtc.init();
    EXPECT_TRUE(trtc.isInit());
    EXPECT_EQ(trtc.getCurrentPos(), QStringList({ "0", "0" })) << "nothing playing";
    trtc.onPlayBGMProgress(61999, 185400);
    EXPECT_EQ(trtc.getCurrentPos(), QStringList({ "185", "61" }));
    trtc.onPlayBGMComplete(ERR_NULL);
    EXPECT_EQ(trtc.getCurrentPos(), QStringList({ "0", "0" }));
    trtc.onPlayBGMProgress(1000, 2000);
    trtc.stopMedia();
    EXPECT_EQ(trtc.getCurrentPos(), QStringList({ "0", "0" }));
    EXPECT_TRUE(trtc.resumeMedia());
    trtc.release();
    EXPECT_FALSE(trtc.isInit());
    EXPECT_TRUE(trtc.getCurrentPos().isEmpty());
    EXPECT_TRUE(logText().contains(QStringLiteral("TRtc 初始化完成")));
}

TEST(TRtc, PeersActingMidClassAndCoursewareFromTheRoomsPlayer)
{
    Adapter a;
    bool available = false;
    QObject::connect(&a.trtc, &LMRTRtc::userVideoAvailable, &a.trtc, [&](QString, bool on) { available = on; });
    int volume = -1;
    QObject::connect(&a.trtc, &LMRTRtc::volumeChanged, &a.trtc, [&](QString, int v) { volume = v; });
    EXPECT_EQ(a.trtc.playMedia(QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3")), 0) << "no room to play to";
    a.enter();
    ASSERT_TRUE(waitUntil([&] { return available && volume == 100; }, 5000));

    auto &room = simroom::Room::instance();
    ASSERT_TRUE(room.peerAction(20002, simroom::PeerAction::CameraOff));
    EXPECT_TRUE(waitUntil([&] { return !available; }, 5000));
    ASSERT_TRUE(room.peerAction(20002, simroom::PeerAction::CameraOn));
    EXPECT_TRUE(waitUntil([&] { return available; }, 5000));
    ASSERT_TRUE(room.peerAction(20002, simroom::PeerAction::MicOff));
    EXPECT_TRUE(waitUntil([&] { return volume == 0; }, 5000));

    // The position comes with the player's progress reports.
    EXPECT_EQ(a.trtc.playMedia(QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3")), 8);
    ASSERT_TRUE(waitUntil([&] { return a.trtc.getCurrentPos().value(1) == QStringLiteral("1"); }, 5000));
    EXPECT_EQ(a.trtc.getCurrentPos().value(0), QStringLiteral("8"));
    EXPECT_TRUE(a.trtc.pauseMedia());
    a.trtc.seekMedia(6000);
    EXPECT_TRUE(a.trtc.resumeMedia());
    ASSERT_TRUE(waitUntil([&] { return a.trtc.getCurrentPos().value(1) == QStringLiteral("7"); }, 5000));
    // Played to its end, the list empties itself.
    EXPECT_TRUE(waitUntil([&] { return a.trtc.getCurrentPos() == QStringList({ "0", "0" }); }, 5000));
    EXPECT_EQ(a.trtc.playMedia(QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3")), 8);
    ASSERT_TRUE(waitUntil([&] { return a.trtc.getCurrentPos().value(0) == QStringLiteral("8"); }, 5000));
    a.trtc.stopMedia();
    EXPECT_EQ(a.trtc.getCurrentPos(), QStringList({ "0", "0" }));
    spin(400);
    EXPECT_EQ(a.trtc.getCurrentPos(), QStringList({ "0", "0" })) << "no report after the stop";
    EXPECT_EQ(a.trtc.playMedia(QStringLiteral(LUMIRA_SOURCE_DIR "/media/sdk/README.md")), 0) << "not audio";
}

// The client itself, copied with a LiteAV folder of the case's making (the
// library is looked for beside the executable, which follows /proc/self/exe).
TEST(TRtc, ClientEndsWithTheFatalLineWhenTheLibraryIsIncomplete)
{
    struct Case {
        const char *library; // copied in as the LiteAV library; null: none
        const char *line;
    };
    const Case cases[] = {
        { nullptr, "Fatal:TRtc dll liteav.dll load error" },
        { LUMIRA_TEST_LITEAV_NONE, "Fatal:TRtc dll getTRTCShareInstance load error" },
        { LUMIRA_TEST_LITEAV_GET, "Fatal:TRtc dll destroyTRTCShareInstance load error" },
    };
    int n = 0;
    for (const Case &c : cases) {
        const QString root = testenv::sandboxRoot() + QStringLiteral("/client%1").arg(++n);
        const QString home = root + QStringLiteral("/home");
        const QString data = root + QStringLiteral("/data");
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/bin/LiteAV")));
        ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/.config/kestrelon")));
        const QString app = root + QStringLiteral("/bin/lumira_app");
        ASSERT_TRUE(QFile::copy(QStringLiteral(LUMIRA_APP_PATH), app));
        if (c.library) {
            ASSERT_TRUE(QFile::copy(QString::fromUtf8(c.library),
                root + QStringLiteral("/bin/LiteAV/")
                    + lumira::platform::sharedLibraryFileName(QStringLiteral("liteav"))));
        }
        {
            QSettings store(home + QStringLiteral("/.config/kestrelon/lumira.conf"), QSettings::IniFormat);
            store.setValue(QStringLiteral("LMR_APP_DATA"), data);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the sandbox's
        // The client checks OpenGL before it gets to its engines: it needs the X server.
        if (env.contains(QStringLiteral("DISPLAY")))
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        // A lock of its own: an earlier case's, left by its exit, is not in the way.
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/run")));
        QFile::setPermissions(root + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        env.insert(QStringLiteral("LUMIRA_DIALOG_AUTO_ACCEPT_MS"), QStringLiteral("300"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        QProcess client;
        client.setProcessEnvironment(env);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(app, QStringList());
        ASSERT_TRUE(client.waitForFinished(60000)) << c.line;
        const QString output = QString::fromUtf8(client.readAll());
        EXPECT_EQ(client.exitStatus(), QProcess::NormalExit) << c.line;
        EXPECT_EQ(client.exitCode(), 0) << c.line;

        QFile file(data + QStringLiteral("/log/LMRApp_") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))
            + QStringLiteral(".log"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString() << output.toStdString();
        const QString log = QString::fromUtf8(file.readAll());
        const int channel = log.indexOf(QStringLiteral("启动：初始化C声道"));
        const int fatal = log.indexOf(QStringLiteral("[Other_Type] ") + QLatin1String(c.line) + QStringLiteral("\r\n"));
        EXPECT_GE(channel, 0) << log.toStdString();
        // Channels A (iLive) and B (Agora) come first, in that order.
        const int channelA = log.indexOf(QStringLiteral("启动：初始化A声道"));
        EXPECT_GE(channelA, 0);
        EXPECT_LT(channelA, log.indexOf(QStringLiteral("启动：初始化B声道")));
        EXPECT_LT(log.indexOf(QStringLiteral("启动：初始化B声道")), channel);
        EXPECT_GT(fatal, channel) << c.line << "\n" << log.toStdString();
        const QString line
            = log.mid(log.lastIndexOf(QLatin1Char('\n'), fatal) + 1, fatal - log.lastIndexOf(QLatin1Char('\n'), fatal));
        EXPECT_TRUE(line.contains(QStringLiteral("[error]"))) << line.toStdString();
        EXPECT_FALSE(log.contains(QStringLiteral("启动：初始化音频录制"))) << "start-up ended at the engine";
    }
}

int main(int argc, char **argv) { return enginecheck::runTests(argc, argv, "trtc"); }

// The TRTC adapter against the LiteAV stand-in it loads at run time and the
// simulated room behind it, with the room's own threads calling back; and the
// client binary when the library or an entry point is missing.
#include "EngineCheck.h"

#include "media/LMRTRtc.h"
#include "media/video/BCQmlRenderView.h"
#include "platform/SharedLibraryName.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

#include <simroom/SimRoom.h>

using namespace enginecheck;

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

// Every volume report carries the local user under the empty id: never passed
// on. A peer who left sends no more frames into its tile.
TEST(TRtc, VolumesDelayAndAPeerWhoLeft)
{
    simroom::Config config = fastRoom();
    config.peers[0].leaveAfterMs = 1500;
    Adapter a(config);
    BCQmlRenderView remote;
    Surface remoteSurface;
    remote.setVideoSurface(&remoteSurface);
    a.trtc.setupRemoteVideo(QStringLiteral("20002"), &remote);
    a.trtc.enableLocalAudio(true);
    QList<QPair<QString, int>> volumes;
    QObject::connect(
        &a.trtc, &LMRTRtc::volumeChanged, &a.trtc, [&](QString uid, int v) { volumes << qMakePair(uid, v); });
    QList<int> delays;
    QObject::connect(&a.trtc, &LMRTRtc::rtcStats, &a.trtc, [&](int delay) { delays << delay; });

    a.enter();
    ASSERT_TRUE(waitUntil([&] { return a.w.video.size() == 2; }, 5000)) << "the peer joins and leaves";
    EXPECT_EQ(a.w.video, QStringList({ "20002:1", "20002:0" }));
    EXPECT_GT(remoteSurface.count, 3);
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
    a.trtc.setMediaVolume(250);
    EXPECT_EQ(sharedCloud()->getCurrentSpeakerVolume(), 100u);
}

// The position list, [duration, position] in seconds; the room's player
// drives it for every engine in test_engines.
TEST(TRtc, CoursewarePositionWithAndWithoutAnEngine)
{
    LMRTRtc trtc;
    EXPECT_TRUE(trtc.getCurrentPos().isEmpty()) << "no engine";
    EXPECT_EQ(trtc.playMedia(QStringLiteral("/nothing.mp3")), 0);
    EXPECT_FALSE(trtc.pauseMedia());
    trtc.init();
    EXPECT_EQ(trtc.playMedia(QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3")), 0) << "no room to play to";
    trtc.onPlayBGMProgress(61999, 185400);
    EXPECT_EQ(trtc.getCurrentPos(), QStringList({ "185", "61" }));
    trtc.onPlayBGMComplete(ERR_NULL);
    EXPECT_EQ(trtc.getCurrentPos(), QStringList({ "0", "0" }));
    trtc.release();
    EXPECT_TRUE(trtc.getCurrentPos().isEmpty());
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

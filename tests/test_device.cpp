// The device manager on the real devices of a private PulseAudio server.
#include "AudioCheck.h"
#include "GTestMain.h"
#include "SoundServer.h"
#include "TestEnv.h"

#include "app/LMRConfig.h"
#include "device/BCDevice.h"
#include "device/DeviceChoice.h"
#include "media/video/GenerateImage.h"
#include "media/video/VideoSurface.h"
#include "media/video/XImageView.h"
#include "platform/CameraIdentity.h"

#include <QAudioInput>
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace
{

const QString kMusic = QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3");

using testenv::logText;

// RMS of `bytes` 16-bit samples from `from` on.
double rmsOf(const QByteArray &bytes, int from = 0)
{
    std::vector<int16_t> s(size_t((bytes.size() - from) / 2));
    if (s.empty())
        return 0;
    std::memcpy(s.data(), bytes.constData() + from, s.size() * 2);
    return audiocheck::rms(s);
}

// Records one input device (a speaker's monitor, a microphone) into memory, 8 kHz mono.
class Capture
{
public:
    explicit Capture(const QString &deviceName)
    {
        for (const QAudioDeviceInfo &device : QAudioDeviceInfo::availableDevices(QAudio::AudioInput))
            if (device.deviceName() == deviceName && device.realm() != QLatin1String("alsa"))
                m_device = device;
        m_format.setSampleRate(8000);
        m_format.setChannelCount(1);
        m_format.setSampleSize(16);
        m_format.setCodec(QStringLiteral("audio/pcm"));
        m_format.setByteOrder(QAudioFormat::LittleEndian);
        m_format.setSampleType(QAudioFormat::SignedInt);
    }
    bool found() const { return !m_device.isNull(); }

    // RMS of what the device carried for `ms`.
    double listen(int ms)
    {
        record([](const QByteArray &) { return false; }, ms);
        return rmsOf(m_sink.buffer());
    }

    // Whether the newest quarter second goes above `level` within `withinMs`.
    // The null sinks render ahead in blocks of up to two seconds, so a stream
    // just started may reach the monitor only that much later.
    bool hears(double level, int withinMs)
    {
        const int window = m_format.bytesForDuration(250 * 1000);
        return record(
            [window, level](const QByteArray &b) { return b.size() >= window && rmsOf(b, b.size() - window) > level; },
            withinMs);
    }

private:
    bool record(const std::function<bool(const QByteArray &)> &done, int ms)
    {
        m_sink.close();
        m_sink.setData(QByteArray());
        m_sink.open(QIODevice::WriteOnly);
        QAudioInput input(m_device, m_format);
        input.start(&m_sink);
        const bool met = testenv::waitUntil([&] { return done(m_sink.buffer()); }, ms);
        input.stop();
        return met;
    }
    QAudioDeviceInfo m_device;
    QAudioFormat m_format;
    QBuffer m_sink;
};

void storeSpeaker(int index, const QString &name)
{
    LMRConfig *config = LMRConfig::instance();
    config->setSpeakerIndex(index);
    config->setSpeakerName(name);
    config->setSpeakerId(name);
}

void clearStoredAudio()
{
    LMRConfig *config = LMRConfig::instance();
    config->setMicIndex(-1);
    config->setMicName(QString());
    config->setMicId(QString());
    storeSpeaker(-1, QString());
}

} // namespace

// ---- choice rules -----------------------------------------------------------

TEST(DeviceChoice, CameraReconciliation)
{
    using lumira::device::Reconcile;
    using lumira::device::reconcileCamera;
    const QStringList ids { QStringLiteral("cam-a"), QStringLiteral("cam-b"), QStringLiteral("cam-c") };
    EXPECT_EQ(reconcileCamera({ -1, "", "cam-b" }, ids).action, Reconcile::Keep);
    EXPECT_EQ(reconcileCamera({ 1, "B", "cam-b" }, {}).action, Reconcile::Clear);
    EXPECT_EQ(reconcileCamera({ 1, "B", "gone" }, ids).action, Reconcile::TakeFirst);
    const Reconcile moved = reconcileCamera({ 0, "C", "cam-c" }, ids);
    EXPECT_EQ(moved.action, Reconcile::Swap);
    EXPECT_EQ(moved.from, 2);
    EXPECT_EQ(reconcileCamera({ 5, "C", "cam-c" }, ids).action, Reconcile::Keep) << "no place to swap into";
}

TEST(DeviceChoice, EndpointMatchingAndCameraIds)
{
    using lumira::device::endpointIdFor;
    const QList<lumira::platform::AudioEndpoint> endpoints {
        { QStringLiteral("扬声器 (Realtek High Definition Audio)"), QStringLiteral("{0.0.0}.{spk}") },
        { QStringLiteral("麦克风 (内装麦克风)"), QStringLiteral("{0.0.1}.{mic}") },
    };
    EXPECT_EQ(endpointIdFor(QStringLiteral("Realtek High Definition"), endpoints, false), "{0.0.0}.{spk}");
    EXPECT_EQ(endpointIdFor(QStringLiteral("外接麦克风"), endpoints, true), "{0.0.1}.{mic}")
        << "a microphone matches the other spelling of its kind";
    EXPECT_EQ(endpointIdFor(QStringLiteral("外接麦克风"), endpoints, false), "");
    EXPECT_EQ(endpointIdFor(QStringLiteral("realtek"), endpoints, false), "") << "case matters";

    using lumira::platform::directShowCameraId;
    EXPECT_EQ(
        *directShowCameraId(QStringLiteral("@device:pnp:\\\\?\\usb#vid_046d"), "HD Webcam"), "\\\\?\\usb#vid_046d");
    EXPECT_EQ(*directShowCameraId(QStringLiteral("@device:sw:{860BB310}\\yyvcam"), "YY Camera"), "YY Camera");
    EXPECT_EQ(*directShowCameraId(QStringLiteral("@device:sw:{860BB310}\\obs"), "OBS"), "{860BB310}\\obs");
    EXPECT_FALSE(directShowCameraId(QStringLiteral("/dev/video0"), "cam").has_value());
    EXPECT_EQ(lumira::platform::directShowDefaultCameraKey(QStringLiteral("@device:sw:x\\yyanchorvcam"), "YY"), "YY");

    // V4L2: the udev link that points at the node names the camera.
    const QString byId = testenv::sandboxRoot() + QStringLiteral("/tmp/by-id");
    QDir().mkpath(byId);
    QFile::link(QStringLiteral("/dev/video2"), byId + QStringLiteral("/usb-Acme_Cam_123-video-index0"));
    QFile::link(QStringLiteral("/dev/video3"), byId + QStringLiteral("/usb-Acme_Cam_123-video-index1"));
    using lumira::platform::v4l2CameraId;
    EXPECT_EQ(v4l2CameraId(QStringLiteral("/dev/video2"), "Acme", byId), "usb-Acme_Cam_123-video-index0");
    EXPECT_EQ(v4l2CameraId(QStringLiteral("/dev/video7"), "Other", byId), "/dev/video7");
    EXPECT_EQ(v4l2CameraId(QStringLiteral("/dev/video9"), "Loopback 6RoomsCamV10", byId), "Loopback 6RoomsCamV10");

    // Whether listing the cameras is worth it: a device node of either kind.
    using lumira::platform::mayHaveCameras;
    const QString root = testenv::sandboxRoot() + QStringLiteral("/tmp/camroot");
    QDir().mkpath(root + QStringLiteral("/dev"));
    QDir().mkpath(root + QStringLiteral("/sys/class/video4linux"));
    QFile(root + QStringLiteral("/dev/snd")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(mayHaveCameras(root));
    QFile::link(QStringLiteral("/sys/devices/video0"), root + QStringLiteral("/sys/class/video4linux/video0"));
    EXPECT_TRUE(mayHaveCameras(root)) << "a dangling class link still names a device";
    QFile::remove(root + QStringLiteral("/sys/class/video4linux/video0"));
    QFile(root + QStringLiteral("/dev/video1")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(mayHaveCameras(root));
}

// ---- device manager on the sound server -------------------------------------

class Devices : public ::testing::Test
{
protected:
    void SetUp() override { clearStoredAudio(); }
    void TearDown() override { device.stopAll(); }
    BCDevice device;
};

TEST_F(Devices, ListsTheServersDevicesAt8kOnly)
{
    const QStringList speakers = device.getLoudspeakers();
    EXPECT_EQ(speakers, QStringList({ "lumira_speaker", "lumira_headset" }));
    EXPECT_EQ(device.getLoudspeakerIdList(), speakers) << "the server's names are the stable ids";
    QStringList mics = device.getMicrophones();
    mics.sort();
    EXPECT_EQ(mics, QStringList({ "lumira_mic", "lumira_silent_mic" })) << "loopbacks are no microphones";

    // Qt also lists the ALSA plugin's aliases of the server ("default", "pulse"):
    // they match no endpoint, so are neither probed (opening every ALSA device) nor listed.
    const QString log = logText();
    int aliases = 0;
    for (const QAudioDeviceInfo &d : QAudioDeviceInfo::availableDevices(QAudio::AudioOutput)) {
        if (d.realm() != QLatin1String("alsa"))
            continue;
        ++aliases;
        const QString line = QStringLiteral("detect speaker ?? \tdevice:") + d.deviceName() + QStringLiteral("\r\n");
        EXPECT_FALSE(log.contains(line)) << d.deviceName().toStdString();
    }
    EXPECT_GT(aliases, 0) << "this machine's Qt lists no ALSA device: nothing was left out";
    EXPECT_FALSE(log.contains(QStringLiteral("not this device (qt name):default")));
}

// Start-up lists each kind without a stored choice once and chooses its
// default; stored choices are left alone and their kinds not listed.
TEST_F(Devices, StartUpListsOnlyWhatItChooses)
{
    LMRConfig *config = LMRConfig::instance();
    const QString speakerLine = QStringLiteral("detect speaker ?? \tdevice:lumira_speaker");
    const QString micLine = QStringLiteral("detect mic ?? \tdevice:lumira_mic");
    int speakers = logText().count(speakerLine);
    int mics = logText().count(micLine);
    EXPECT_EQ(device.setStartupDefaults(), 4) << "no camera on this machine";
    EXPECT_EQ(logText().count(speakerLine), speakers + 1);
    EXPECT_EQ(logText().count(micLine), mics + 1);
    EXPECT_EQ(config->getSpeakerName(), "lumira_speaker");
    EXPECT_EQ(config->getMicName(), "lumira_mic");

    // The defaults are the system defaults.
    clearStoredAudio();
    EXPECT_TRUE(device.setDefaultSpeakerDevice());
    EXPECT_TRUE(device.setDefaultMicDevice());
    EXPECT_EQ(config->getSpeakerName(), "lumira_speaker");
    EXPECT_EQ(config->getSpeakerId(), "lumira_speaker");
    EXPECT_EQ(device.getLoudspeakers().at(config->getSpeakerIndex()), "lumira_speaker");
    EXPECT_EQ(config->getMicName(), "lumira_mic");
    EXPECT_EQ(device.getMicrophones().at(config->getMicIndex()), "lumira_mic");
    EXPECT_EQ(device.resetDefaultDevice(), 4) << "only the camera is missing";

    storeSpeaker(1, QStringLiteral("lumira_headset"));
    speakers = logText().count(speakerLine);
    mics = logText().count(micLine);
    EXPECT_EQ(device.setStartupDefaults(), 4) << "the camera is still missing";
    EXPECT_EQ(logText().count(speakerLine), speakers);
    EXPECT_EQ(logText().count(micLine), mics);
    EXPECT_EQ(config->getSpeakerIndex(), 1);
    EXPECT_EQ(config->getSpeakerName(), "lumira_headset");
}

TEST_F(Devices, AStoredDeviceThatMovedIsSwappedBack)
{
    LMRConfig *config = LMRConfig::instance();
    storeSpeaker(0, QStringLiteral("lumira_headset"));
    EXPECT_EQ(device.getLoudspeakers(), QStringList({ "lumira_headset", "lumira_speaker" }));
    EXPECT_EQ(device.getLoudspeakerIdList(), QStringList({ "lumira_headset", "lumira_speaker" }));
    EXPECT_EQ(config->getSpeakerIndex(), 0);

    config->setSpeakerName(QStringLiteral("unplugged headset"));
    device.getLoudspeakers();
    EXPECT_EQ(config->getSpeakerIndex(), -1);
    EXPECT_EQ(config->getSpeakerName(), "");
    EXPECT_EQ(config->getSpeakerId(), "");

    config->setMicIndex(5);
    config->setMicName(QStringLiteral("lumira_mic"));
    device.getMicrophones();
    EXPECT_EQ(config->getMicIndex(), -1) << "an index beyond the list is dropped";

    // No camera on this machine: a stored camera is forgotten.
    config->setCameraIndex(2);
    config->setCameraName(QStringLiteral("USB Camera"));
    config->setCameraId(QStringLiteral("usb-cam"));
    EXPECT_TRUE(device.getCameras().isEmpty());
    EXPECT_EQ(config->getCameraIndex(), -1);
    EXPECT_EQ(config->getCameraName(), "");
    EXPECT_EQ(config->getCameraId(), "");
}

TEST_F(Devices, MicrophoneLevelFollowsTheSource)
{
    const QStringList mics = device.getMicrophones();
    QSignalSpy levels(&device, &BCDevice::micWaveStrength);
    ASSERT_TRUE(device.startMicrophone(int(mics.indexOf("lumira_silent_mic"))));
    testenv::waitUntil([]() { return false; }, 800);
    EXPECT_EQ(levels.count(), 0) << "a silent microphone shows no level";

    ASSERT_TRUE(device.startMicrophone(int(mics.indexOf("lumira_mic"))));
    const int open = device.openMicrophoneIndex();
    // The sources deliver in ~2 s blocks, later when loaded: limits only catch no level at all.
    ASSERT_TRUE(testenv::waitUntil([&levels]() { return levels.count() > 100; }, 15000));
    double peak = 0;
    for (const QList<QVariant> &call : qAsConst(levels))
        peak = std::max(peak, call.at(0).toDouble());
    EXPECT_GT(peak, 0.1);
    EXPECT_LE(peak, 1.0);

    EXPECT_FALSE(device.startMicrophone(-1));
    EXPECT_FALSE(device.startMicrophone(mics.size()));
    EXPECT_EQ(device.openMicrophoneIndex(), open) << "a bad index leaves the open microphone alone";
    levels.clear();
    EXPECT_TRUE(testenv::waitUntil([&levels]() { return levels.count() > 10; }, 15000));
    EXPECT_TRUE(device.stopMicrophone());
    EXPECT_EQ(device.openMicrophoneIndex(), -1);
}

TEST_F(Devices, SpeakerTestPlaysTheMicrophoneBack)
{
    const QStringList mics = device.getMicrophones();
    const QStringList speakers = device.getLoudspeakers();
    Capture headset(QStringLiteral("lumira_headset.monitor"));
    ASSERT_TRUE(headset.found());
    ASSERT_TRUE(device.startMicrophone(int(mics.indexOf("lumira_mic"))));
    ASSERT_TRUE(device.startLoudspeaker(int(speakers.indexOf("lumira_headset"))));
    testenv::waitUntil([]() { return false; }, 1000); // the server's playback latency
    EXPECT_GT(headset.listen(1500), 500);
    device.stopAll();
    EXPECT_LT(headset.listen(600), 50);
}

TEST_F(Devices, PlaysTheTestMusicOnTheChosenSpeakerOnly)
{
    const QStringList speakers = device.getLoudspeakers();
    Capture headset(QStringLiteral("lumira_headset.monitor"));
    Capture speaker(QStringLiteral("lumira_speaker.monitor"));
    ASSERT_TRUE(headset.found() && speaker.found());

    EXPECT_FALSE(device.playMp3(kMusic, speakers.size())) << "no such speaker";
    EXPECT_FALSE(device.isPlaying());

    ASSERT_TRUE(device.playMp3(kMusic, int(speakers.indexOf("lumira_headset"))));
    EXPECT_TRUE(device.isPlaying());
    EXPECT_EQ(device.audioParams().sampleRate(), 8000);
    EXPECT_FALSE(device.playMp3(kMusic, 0)) << "a second play while playing does nothing";
    EXPECT_TRUE(headset.hears(300, 6000)) << "the music reaches the chosen speaker";
    EXPECT_LT(speaker.listen(500), 50) << "and only that one";

    EXPECT_TRUE(device.stopMp3());
    EXPECT_FALSE(device.isPlaying());
    EXPECT_LT(headset.listen(600), 50) << "stopping silences it";

    ASSERT_TRUE(device.playMp3(kMusic, int(speakers.indexOf("lumira_speaker")))) << "a new play after a stop";
    EXPECT_TRUE(speaker.hears(300, 6000));
}

TEST_F(Devices, MusicEndsByItself)
{
    const QString shortMusic = testenv::sandboxRoot() + QStringLiteral("/tmp/short.mp3");
    ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"),
                  { "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=500:duration=0.6", "-ac", "2", "-c:a",
                      "libmp3lame", shortMusic }),
        0);
    device.getLoudspeakers();
    QSignalSpy finished(&device, &BCDevice::sgMp3Finished);
    ASSERT_TRUE(device.playMp3(shortMusic, 0));
    EXPECT_TRUE(finished.wait(6000));
    EXPECT_FALSE(device.isPlaying());
    EXPECT_TRUE(device.playMp3(shortMusic, 0)) << "the play button works again";
    device.stopMp3();

    // A stream that never starts (no file) ends all the same.
    finished.clear();
    ASSERT_TRUE(device.playMp3(testenv::sandboxRoot() + QStringLiteral("/tmp/deleted.mp3"), 0));
    EXPECT_TRUE(finished.wait(6000));
    EXPECT_FALSE(device.isPlaying());
    EXPECT_TRUE(logText().contains(QStringLiteral("open format context error")));
}

TEST_F(Devices, QuickPlayAndStopCyclesLeaveNothingBehind)
{
    device.getLoudspeakers();
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(device.playMp3(kMusic, i % 2)) << i;
        testenv::waitUntil([]() { return false; }, 20 * i);
        ASSERT_TRUE(device.stopMp3());
        ASSERT_FALSE(device.isPlaying());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(device.findChildren<QThread *>().size(), 0) << "every playback's threads are gone";
}

TEST_F(Devices, CameraFramesReachThePreview)
{
    // No camera here: frames enter where the camera would hand them over.
    XImageView preview;
    device.generateImage()->setRenderImageView(&preview);
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 40));
    ASSERT_TRUE(device.videoSurface()->present(QVideoFrame(picture)));
    const QImage shown = preview.image();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), QSize(64, 48));
    EXPECT_EQ(shown.pixelColor(10, 10), QColor(200, 30, 40));
}

// ---- no sound server ---------------------------------------------------------

TEST(NoSoundServer, NothingIsListedAndNothingStarts)
{
    clearStoredAudio();
    BCDevice device;
    EXPECT_EQ(device.resetDefaultDevice(), 7);
    EXPECT_TRUE(device.getLoudspeakers().isEmpty());
    EXPECT_TRUE(device.getMicrophones().isEmpty());
    EXPECT_FALSE(device.startMicrophone(0));
    EXPECT_FALSE(device.startLoudspeaker(0));
    EXPECT_FALSE(device.startCamera(0));
    EXPECT_FALSE(device.playMp3(kMusic, 0));
    EXPECT_EQ(LMRConfig::instance()->getSpeakerIndex(), -1);
    EXPECT_TRUE(device.stopAll());
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("device");
    // Without a sound server only the tests that expect none run, and the other way round.
    const bool noServer = qgetenv("LUMIRA_TEST_SOUND_SERVER") == "none";
    testenv::SoundServer server;
    if (!noServer && !server.start(testenv::sandboxRoot() + QStringLiteral("/run/sound"))) {
        std::fprintf(stderr, "the private sound server did not start\n");
        return 1;
    }
    return testenv::runGoogleTests(argc, argv, "LMRApp_device.log", noServer ? "NoSoundServer.*" : "-NoSoundServer.*");
}

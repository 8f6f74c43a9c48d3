// Recording audio path: vendor buffers to 16 kHz mono, stereo frames to MP3,
// checked by decoding the file back with FFmpeg.
#include "AudioCheck.h"
#include "GTestMain.h"
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "media/AudioConvert.h"
#include "record/AVFileStoreMP3.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

using namespace audiocheck;

using testenv::logText;

QString tempPath(const QString &name) { return QDir(testenv::sandboxRoot()).filePath(name); }

// A recorder frame: 144 samples, 16 kHz, planar stereo; left and right tones differ.
ffmpeg::FramePtr stereoFrame(long &t, double leftHz, double rightHz, int samples = 144)
{
    ffmpeg::FramePtr frame(av_frame_alloc());
    frame->sample_rate = 16000;
    frame->format = AV_SAMPLE_FMT_S16P;
    frame->nb_samples = samples;
    av_channel_layout_default(&frame->ch_layout, 2);
    av_frame_get_buffer(frame.get(), 0);
    auto *l = reinterpret_cast<int16_t *>(frame->data[0]);
    auto *r = reinterpret_cast<int16_t *>(frame->data[1]);
    for (int i = 0; i < samples; ++i, ++t) {
        l[i] = int16_t(8000 * std::sin(2 * kPi * leftHz * double(t) / 16000));
        r[i] = int16_t(8000 * std::sin(2 * kPi * rightHz * double(t) / 16000));
    }
    return frame;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(AudioConvert, EveryVendorFormatBecomes16kMonoAndKeepsTheTone)
{
    struct Case {
        int rate, channels;
    };
    for (const Case c :
        { Case { 8000, 2 }, Case { 16000, 1 }, Case { 48000, 2 }, Case { 44100, 2 }, Case { 32000, 1 } }) {
        AudioConvert convert;
        std::vector<int16_t> out;
        long t = 0;
        const int perFrame = c.rate / 100; // 10 ms
        for (int n = 0; n < 100; ++n) {
            AudioConvertInput in;
            in.sampleRate = c.rate;
            in.channels = c.channels;
            in.samplesPerChannel = perFrame;
            in.buffer = sine(c.rate, c.channels, perFrame, 1000, t);
            in.length = in.buffer.size();
            ffmpeg::FramePtr frame = convert.convert(in);
            ASSERT_TRUE(frame) << c.rate;
            EXPECT_EQ(frame->sample_rate, 16000);
            EXPECT_EQ(frame->ch_layout.nb_channels, 1);
            EXPECT_EQ(frame->format, AV_SAMPLE_FMT_S16);
            EXPECT_LE(frame->nb_samples, 2048);
            const auto *s = reinterpret_cast<const int16_t *>(frame->data[0]);
            out.insert(out.end(), s, s + frame->nb_samples);
        }
        // One second in, one second out, give or take the resampler's delay.
        EXPECT_NEAR(double(out.size()), 16000, 64) << c.rate << "x" << c.channels;
        EXPECT_NEAR(frequency(out, 16000), 1000, 10) << c.rate << "x" << c.channels;
        EXPECT_NEAR(rms(out), 10000 / std::sqrt(2.0), 700) << c.rate << "x" << c.channels;
    }
}

TEST(AudioConvert, MalformedInputIsRefusedAndLogged)
{
    AudioConvert convert;
    AudioConvertInput in;
    in.sampleRate = 48000;
    in.channels = 2;
    in.samplesPerChannel = 480;
    in.buffer = QByteArray(100, 0); // far shorter than 480 stereo samples
    in.length = in.buffer.size();
    EXPECT_FALSE(convert.convert(in));
    in.channels = 0;
    EXPECT_FALSE(convert.convert(in));
    EXPECT_TRUE(logText().contains(QStringLiteral("audio convert: bad input")));
}

// Mic left and speaker right through a whole lesson are checked in
// test_record; here a reopened file keeps what it had and grows.
TEST(Mp3Store, ReopeningAppendsAndKeepsEarlierBytes)
{
    const QString path = tempPath(QStringLiteral("append.mp3"));
    QFile::remove(path);
    long t = 0;
    QByteArray first;
    for (int pass = 0; pass < 2; ++pass) {
        AVFileStoreMP3 store(path);
        ASSERT_TRUE(store.open());
        for (int n = 0; n < 16000 / 144; ++n)
            ASSERT_TRUE(store.write(stereoFrame(t, 440, 880).get())) << n; // also before the encoder gives anything
        EXPECT_EQ(store.converterCount(), 0) << "the recording path never converts";
        if (pass == 0) {
            EXPECT_TRUE(store.close());
            EXPECT_TRUE(store.close());
            first = readAll(path);
        } // else the destructor closes
    }
    ASSERT_GT(first.size(), 1000);
    EXPECT_NE(first.left(3), QByteArray("ID3")) << "no container header";
    const QByteArray both = readAll(path);
    EXPECT_GT(both.size(), first.size() + 1000);
    EXPECT_EQ(both.left(first.size()), first);
    const Decoded d = decode(path);
    EXPECT_EQ(d.rate, 16000);
    // Each stream adds the encoder's priming and padding (about 80 ms).
    EXPECT_NEAR(d.seconds(), 2.1, 0.15);
    EXPECT_NEAR(frequency(d.right, 16000), 880, 9);
}

TEST(Mp3Store, OtherFormatsAreConvertedWithOneConverterPerInput)
{
    const QString path = tempPath(QStringLiteral("convert.mp3"));
    QFile::remove(path);
    AVFileStoreMP3 store(path);
    ASSERT_TRUE(store.open());
    long t = 0;
    auto packed = [&](int rate, int channels, int samples) {
        ffmpeg::FramePtr frame(av_frame_alloc());
        frame->sample_rate = rate;
        frame->format = AV_SAMPLE_FMT_S16;
        frame->nb_samples = samples;
        av_channel_layout_default(&frame->ch_layout, channels);
        av_frame_get_buffer(frame.get(), 0);
        const QByteArray bytes = sine(rate, channels, samples, 500, t);
        std::memcpy(frame->data[0], bytes.constData(), size_t(bytes.size()));
        return frame;
    };
    for (int n = 0; n < 100; ++n)
        ASSERT_TRUE(store.write(packed(48000, 1, 480).get()));
    EXPECT_EQ(store.converterCount(), 1);
    for (int n = 0; n < 100; ++n)
        ASSERT_TRUE(store.write(packed(8000, 2, 80).get()));
    EXPECT_EQ(store.converterCount(), 2);
    // A converted frame larger than the conversion buffer loses that frame only.
    EXPECT_FALSE(store.write(packed(48000, 1, 48000).get()));
    ASSERT_TRUE(store.write(packed(48000, 1, 480).get()));
    EXPECT_EQ(store.converterCount(), 2);
    store.close();
    const Decoded d = decode(path);
    EXPECT_EQ(d.rate, 16000);
    EXPECT_EQ(d.channels, 2);
    EXPECT_NEAR(d.seconds(), 2.0, 0.15);
    EXPECT_NEAR(frequency(d.left, 16000), 500, 6);
}

TEST(Mp3Store, UnusableStoresFailCleanly)
{
    AVFileStoreMP3 never(tempPath(QStringLiteral("never.mp3")));
    EXPECT_TRUE(never.close());
    long t = 0;
    EXPECT_FALSE(never.write(stereoFrame(t, 440, 880).get()));
    EXPECT_FALSE(QFile::exists(tempPath(QStringLiteral("never.mp3"))));

    AVFileStoreMP3 directory(testenv::sandboxRoot()); // a directory is no file
    EXPECT_FALSE(directory.open());
    EXPECT_TRUE(logText().contains(QStringLiteral("mp3 file error")));
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("audio");
    return testenv::runGoogleTests(argc, argv, "LMRApp_audio.log");
}

// Recording audio path: vendor buffers to 16 kHz mono, stereo frames to MP3,
// checked by decoding the file back with FFmpeg.
#include "TestEnv.h"

#include "app/DirHelper.h"
#include "app/TSpdlog.h"
#include "media/AudioConvert.h"
#include "record/AVFileStoreMP3.h"
#include "record/AVFrameWrapper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaType>

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

constexpr double kPi = 3.14159265358979323846;

QString logText()
{
    TSpdlog::flushAll();
    QFile file(DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_audio.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString tempPath(const QString &name) { return QDir(testenv::sandboxRoot()).filePath(name); }

// Interleaved S16 sine, phase continuous across calls through `t`.
QByteArray sine(int rate, int channels, int samples, double hz, long &t, double amplitude = 10000)
{
    QByteArray bytes(samples * channels * 2, 0);
    auto *out = reinterpret_cast<int16_t *>(bytes.data());
    for (int i = 0; i < samples; ++i, ++t)
        for (int c = 0; c < channels; ++c)
            out[i * channels + c] = int16_t(amplitude * std::sin(2 * kPi * hz * double(t) / rate));
    return bytes;
}

// Frequency from the rate of upward crossings, with hysteresis so that coding
// noise near zero does not count, skipping the start-up.
double frequency(const std::vector<int16_t> &s, int rate)
{
    int crossings = 0;
    size_t first = 0, last = 0;
    bool low = false;
    for (size_t i = s.size() / 10; i < s.size(); ++i) {
        if (s[i] < -1000)
            low = true;
        else if (low && s[i] > 1000) {
            low = false;
            if (!crossings)
                first = i;
            last = i;
            ++crossings;
        }
    }
    return crossings > 1 ? double(crossings - 1) * rate / double(last - first) : 0;
}

double rms(const std::vector<int16_t> &s)
{
    double sum = 0;
    for (size_t i = s.size() / 10; i < s.size(); ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(s.size() - s.size() / 10));
}

struct Decoded {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> left, right;
    double seconds() const { return rate ? double(left.size()) / rate : 0; }
};

Decoded decode(const QString &path)
{
    Decoded result;
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.toLocal8Bit().constData(), nullptr, nullptr) < 0)
        return result;
    const AVCodec *codec = nullptr;
    // A bare MP3 stream has no header: its stream is found by probing packets.
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    AVCodecContext *context = stream >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (context && avcodec_parameters_to_context(context, format->streams[stream]->codecpar) >= 0
        && avcodec_open2(context, codec, nullptr) >= 0) {
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        auto drain = [&] {
            while (avcodec_receive_frame(context, frame) >= 0) {
                result.rate = frame->sample_rate;
                result.channels = frame->ch_layout.nb_channels;
                // The MP3 decoder gives planar float.
                const auto *l = reinterpret_cast<const float *>(frame->extended_data[0]);
                const auto *r = reinterpret_cast<const float *>(frame->extended_data[result.channels > 1 ? 1 : 0]);
                for (int i = 0; i < frame->nb_samples; ++i) {
                    result.left.push_back(int16_t(l[i] * 32767));
                    result.right.push_back(int16_t(r[i] * 32767));
                }
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(context, packet) >= 0)
                drain();
            av_packet_unref(packet);
        }
        avcodec_send_packet(context, nullptr);
        drain();
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return result;
}

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

TEST(Mp3Store, StereoFramesDecodeBackWithMicLeftAndSpeakerRight)
{
    const QString path = tempPath(QStringLiteral("lesson.mp3"));
    QFile::remove(path);
    AVFileStoreMP3 store(path);
    ASSERT_TRUE(store.open());
    long t = 0;
    for (int n = 0; n < 16000 * 2 / 144; ++n) {
        ffmpeg::FramePtr frame = stereoFrame(t, 440, 880);
        ASSERT_TRUE(store.write(frame.get())) << n; // also before the encoder releases anything
    }
    EXPECT_EQ(store.converterCount(), 0); // the recording path never converts
    EXPECT_TRUE(store.close());
    EXPECT_TRUE(store.close());

    const Decoded d = decode(path);
    EXPECT_EQ(d.rate, 16000);
    EXPECT_EQ(d.channels, 2);
    EXPECT_NEAR(d.seconds(), 2.0, 0.1);
    EXPECT_NEAR(frequency(d.left, 16000), 440, 5);
    EXPECT_NEAR(frequency(d.right, 16000), 880, 9);
    // 32 kbit/s for two seconds, no container header.
    EXPECT_NEAR(double(QFileInfo(path).size()), 32000.0 / 8 * 2, 1200);
    EXPECT_NE(readAll(path).left(3), QByteArray("ID3"));
}

TEST(Mp3Store, ReopeningAppendsAndKeepsEarlierBytes)
{
    const QString path = tempPath(QStringLiteral("append.mp3"));
    QFile::remove(path);
    long t = 0;
    {
        AVFileStoreMP3 store(path);
        ASSERT_TRUE(store.open());
        for (int n = 0; n < 16000 / 144; ++n)
            ASSERT_TRUE(store.write(stereoFrame(t, 440, 880).get()));
        store.close();
    }
    const QByteArray first = readAll(path);
    ASSERT_GT(first.size(), 1000);
    {
        AVFileStoreMP3 store(path);
        ASSERT_TRUE(store.open());
        for (int n = 0; n < 16000 / 144; ++n)
            ASSERT_TRUE(store.write(stereoFrame(t, 440, 880).get()));
    } // the destructor closes
    const QByteArray both = readAll(path);
    EXPECT_GT(both.size(), first.size() + 1000);
    EXPECT_EQ(both.left(first.size()), first);
    // Each stream adds the encoder's priming and padding (about 80 ms).
    EXPECT_NEAR(decode(path).seconds(), 2.1, 0.15);
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

TEST(FrameWrapper, CrossesThreadsAsARegisteredType)
{
    auto wrapper = QSharedPointer<AVFrameWrapper>::create(av_frame_alloc());
    EXPECT_NE(QMetaType::type("QSharedPointer<AVFrameWrapper>"), 0);
    EXPECT_TRUE(wrapper->frame());
    QSharedPointer<AVFrameWrapper> empty(new AVFrameWrapper(nullptr)); // nothing to free
    EXPECT_FALSE(empty->frame());
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("audio");
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("kestrelon"));
    QCoreApplication::setApplicationName(QStringLiteral("lumira"));
    const QString log = DirHelper::instance()->logPath() + QStringLiteral("/LMRApp_audio.log");
    TSpdlog::create(log, log);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

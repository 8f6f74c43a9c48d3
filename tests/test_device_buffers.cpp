// The ring buffer between decoders and audio devices, and the decoder of the
// device test's music.
#include "AudioCheck.h"
#include "GTestMain.h"
#include "TestEnv.h"

#include "device/LoopBuffer.h"
#include "device/Mp3Decode.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace
{

const QString kMusic = QStringLiteral(LUMIRA_BIN_DIR "/TestDeviceMusic.mp3");

QByteArray counting(int n, int from = 0)
{
    QByteArray bytes(n, 0);
    for (int i = 0; i < n; ++i)
        bytes[i] = char(from + i);
    return bytes;
}

QByteArray readN(LoopBuffer &buffer, int n)
{
    QByteArray out(n, '\x7f');
    const qint64 got = buffer.read(out.data(), n);
    out.resize(int(qMax<qint64>(0, got)));
    return out;
}

// Little-endian, as on every machine the client runs on.
QByteArray samples16(std::initializer_list<int16_t> values)
{
    return QByteArray(reinterpret_cast<const char *>(values.begin()), int(values.size() * 2));
}

using testenv::logText;

} // namespace

// ---- ring buffer --------------------------------------------------------

TEST(LoopBuffer, WrapsAroundAndRefusesByMode)
{
    LoopBuffer refuseLarge(10, LoopBuffer::RefuseLargerThanCapacity);
    refuseLarge.open(QIODevice::ReadWrite);
    EXPECT_EQ(refuseLarge.write(counting(11)), 0);
    EXPECT_EQ(refuseLarge.bytesAvailable(), 0);
    ASSERT_EQ(refuseLarge.write(counting(6)), 6);
    EXPECT_EQ(readN(refuseLarge, 4), counting(4));
    // 2 left, 6 more wrap over the end of the storage.
    ASSERT_EQ(refuseLarge.write(counting(6, 6)), 6);
    EXPECT_EQ(refuseLarge.freeBytes(), 2);
    EXPECT_EQ(readN(refuseLarge, 8), counting(8, 4));
    EXPECT_EQ(refuseLarge.freeBytes(), 10);

    LoopBuffer refuseFull(10, LoopBuffer::RefuseLargerThanFree);
    refuseFull.open(QIODevice::ReadWrite);
    ASSERT_EQ(refuseFull.write(counting(7)), 7);
    EXPECT_EQ(refuseFull.write(counting(4, 50)), 0); // 3 free: nothing changes
    EXPECT_EQ(refuseFull.freeBytes(), 3);
    ASSERT_EQ(refuseFull.write(counting(3, 7)), 3);
    EXPECT_EQ(readN(refuseFull, 10), counting(10));
}

TEST(LoopBuffer, KeepNewestDropsTheOldest)
{
    LoopBuffer buffer(10, LoopBuffer::KeepNewest);
    buffer.open(QIODevice::ReadWrite);
    EXPECT_TRUE(buffer.openMode() & QIODevice::Unbuffered);
    // Larger than the storage: exactly the last 10 bytes stay.
    ASSERT_EQ(buffer.write(counting(25)), 25);
    EXPECT_EQ(buffer.freeBytes(), 0);
    EXPECT_EQ(readN(buffer, 10), counting(10, 15));

    // The writer passes the reader: the oldest bytes are lost, order is kept.
    ASSERT_EQ(buffer.write(counting(8)), 8);
    ASSERT_EQ(buffer.write(counting(5, 8)), 5);
    EXPECT_EQ(buffer.freeBytes(), 0);
    EXPECT_EQ(readN(buffer, 10), counting(10, 3));

    ASSERT_TRUE(buffer.reset());
    EXPECT_EQ(buffer.freeBytes(), 10);

    // Reading more than is stored gives silence and leaves the bytes in place.
    buffer.write(counting(4, 1));
    EXPECT_EQ(readN(buffer, 6), QByteArray(6, '\0'));
    EXPECT_EQ(readN(buffer, 4), counting(4, 1));
    EXPECT_EQ(readN(buffer, 11), QByteArray(11, '\0')); // more than it can ever hold
}

TEST(LoopBuffer, LevelFollowsEveryStepthSampleAbovezero)
{
    LoopBuffer buffer(1024, LoopBuffer::KeepNewest);
    buffer.open(QIODevice::ReadWrite);
    buffer.setSampleLayout(16, 2); // one sample every 16 bytes
    QSignalSpy levels(&buffer, &LoopBuffer::volume);

    buffer.write(samples16({ 0, 0, 0, 0, 0, 0, 0, 0, -3000, 5, 5, 5, 5, 5, 5, 5 }));
    EXPECT_EQ(levels.count(), 0) << "silence and negative samples are no level";

    buffer.write(samples16({ 16384, 1, 1, 1, 1, 1, 1, 1, 8192, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0 }));
    ASSERT_EQ(levels.count(), 2);
    EXPECT_DOUBLE_EQ(levels.at(0).at(0).toDouble(), 0.5);
    EXPECT_DOUBLE_EQ(levels.at(1).at(0).toDouble(), 0.25);

    levels.clear();
    buffer.setSampleLayout(8, 1); // one sample every 4 bytes, centred on 128
    buffer.write(QByteArray("\xc0\x00\x00\x00\x80\x00\x00\x00\x40\x00\x00\x00", 12));
    ASSERT_EQ(levels.count(), 1);
    EXPECT_DOUBLE_EQ(levels.at(0).at(0).toDouble(), 0.5);
}

TEST(LoopBuffer, BlockingReadWaitsForTheWriterThenGivesUp)
{
    LoopBuffer buffer(64, LoopBuffer::RefuseLargerThanFree, true);
    buffer.open(QIODevice::ReadWrite);
    std::unique_ptr<QThread> writer(QThread::create([&buffer]() {
        QThread::msleep(150);
        buffer.write(counting(8));
    }));
    writer->start();
    EXPECT_EQ(readN(buffer, 8), counting(8)) << "the reader waits for the bytes";
    writer->wait();

    // Nothing more comes: after five 100 ms attempts the reader gives up.
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(readN(buffer, 8).size(), 0);
    EXPECT_GE(waited.elapsed(), 450);
    // Data that arrives later is still read.
    buffer.write(counting(8, 40));
    EXPECT_EQ(readN(buffer, 8), counting(8, 40));
}

TEST(LoopBuffer, BlockingReaderGetsEveryByteInOrder)
{
    // As the test music plays: a writer re-offering what the full buffer refused,
    // a blocking reader elsewhere. Every read must continue the sequence; silence
    // means the reader was let through before its bytes were stored.
    constexpr int kReadSize = 64;
    constexpr int kRounds = 50;
    constexpr int kBytesPerRound = 8 * 1024;
    for (int round = 0; round < kRounds; ++round) {
        LoopBuffer buffer(4 * kReadSize, LoopBuffer::RefuseLargerThanFree, true);
        buffer.open(QIODevice::ReadWrite);
        std::unique_ptr<QThread> writer(QThread::create([&buffer]() {
            int sent = 0;
            for (int chunk = 1; sent < kBytesPerRound; chunk = chunk % 61 + 1) {
                const QByteArray bytes = counting(qMin(chunk, kBytesPerRound - sent), sent);
                while (buffer.write(bytes) == 0)
                    QThread::usleep(100); // as the decoder does, only sooner
                sent += bytes.size();
            }
        }));
        writer->start();
        // Drain everything, even past a wrong block, so the writer never waits for room.
        QByteArray block(kReadSize, 0);
        int received = 0;
        int reads = 0;
        int firstBadRead = -1;
        QByteArray firstBad;
        while (!writer->isFinished() || buffer.bytesAvailable() > 0) {
            const qint64 got = buffer.read(block.data(), kReadSize);
            if (got <= 0) // waited too long and asks again: no fault

                continue;
            ++reads;
            if (firstBadRead < 0 && (got != kReadSize || block != counting(kReadSize, received))) {
                firstBadRead = reads;
                firstBad = block.left(int(got));
            }
            received += int(got);
        }
        writer->wait();
        ASSERT_EQ(firstBadRead, -1) << "round " << round << ": read " << firstBadRead << " of " << reads << " got "
                                    << firstBad.toHex(' ').toStdString();
        ASSERT_EQ(received, kBytesPerRound) << "round " << round;
    }
}

// ---- test music -----------------------------------------------------------

// The decoder waits while a small buffer is full, so nothing of the music is lost.
TEST(Mp3Decode, DecodesTheTestMusicTo8kStereoWaitingWhileTheBufferIsFull)
{
    LoopBuffer buffer(16000, LoopBuffer::RefuseLargerThanFree);
    buffer.open(QIODevice::ReadWrite);
    Mp3Decode decoder(kMusic);
    ASSERT_TRUE(decoder.hasAudio());
    decoder.setBuffer(&buffer);
    decoder.setOutputRate(8000);
    std::atomic<qint64> emitted { 0 };
    QObject::connect(&decoder, &Mp3Decode::sgPCMData, [&emitted](const QByteArray &pcm) { emitted += pcm.size(); });
    decoder.fullBufferWaitMs = 20;
    QByteArray heard;
    std::atomic<bool> draining { true };
    std::unique_ptr<QThread> reader(QThread::create([&]() {
        QByteArray chunk(3200, 0);
        while (draining) {
            if (buffer.bytesAvailable() >= chunk.size()) {
                buffer.read(chunk.data(), chunk.size());
                heard += chunk;
            }
            QThread::msleep(2);
        }
    }));
    reader->start();
    decoder.run();
    draining = false;
    reader->wait();
    heard += readN(buffer, int(buffer.bytesAvailable()));
    EXPECT_EQ(heard.size(), emitted);
    // 8 s at 8000 Hz, 2 channels, 2 bytes.
    EXPECT_NEAR(double(heard.size()), 8 * 8000 * 4, 8000 * 4 * 0.1) << "nothing was lost while the buffer was full";
    std::vector<int16_t> left;
    for (int i = 0; i + 3 < heard.size(); i += 4)
        left.push_back(int16_t(uint8_t(heard[i]) | uint8_t(heard[i + 1]) << 8));
    EXPECT_GT(audiocheck::rms(left), 1000) << "the music is audible";
}

TEST(Mp3Decode, BadFilesAreLoggedNotPlayed)
{
    const QString garbage = testenv::sandboxRoot() + QStringLiteral("/tmp/not-music.mp3");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(5000, 'x'));
    file.close();
    for (const QString &path : { garbage, testenv::sandboxRoot() + QStringLiteral("/tmp/missing.mp3") }) {
        LoopBuffer buffer(100000, LoopBuffer::RefuseLargerThanFree);
        buffer.open(QIODevice::ReadWrite);
        Mp3Decode decoder(path);
        EXPECT_FALSE(decoder.hasAudio());
        decoder.setBuffer(&buffer);
        decoder.run();
        EXPECT_EQ(buffer.bytesAvailable(), 0) << path.toStdString();
    }
    EXPECT_TRUE(logText().contains(QStringLiteral("parseMp3MetaInfo open format context error")));
}
int main(int argc, char **argv)
{
    testenv::enterSandbox("device_buffers");
    return testenv::runGoogleTests(argc, argv, "LMRApp_device_buffers.log");
}

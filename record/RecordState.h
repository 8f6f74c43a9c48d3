#pragma once

#include <QByteArray>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QVector>
#include <QWaitCondition>

#include <atomic>

class AVFileStoreMP3;

namespace recordformat
{
// Engines deliver 16 kHz mono signed 16-bit PCM: 32 bytes per millisecond.
inline int packetMs = 9;
inline int packetBytes() { return packetMs << 5; } // 288 bytes, 144 samples
inline int packetSamples() { return packetBytes() / 2; }
inline qint64 driftCheckPackets = 3003; // 27.027 s
constexpr int kSampleRate = 16000;
constexpr int kPartialPatienceTicks = 60;
constexpr int kWriterIdleMs = 20;
constexpr int kWriterSafetyWaitMs = 200;
constexpr int kPooledPackets = 64; // spent packets kept for reuse, per process
constexpr int kHeartbeatMs = 100;
constexpr qint64 kLongestFilledGapMs = 3600000;
} // namespace recordformat

// What the dispatcher, the packet former and the encoding loop share while a
// lesson is recorded.
//
// Lock order, for every thread: micByteLock, spkByteLock, micPacketLock,
// spkPacketLock. A thread may skip locks but never takes an earlier one while
// holding a later one. recordTokenLock may follow the two byte locks and is
// never held together with a packet lock.
struct RecordState {
    static RecordState &process();

    QString recordToken; // written on the dispatcher thread only; empty: not recording
    QMutex recordTokenLock; // for readers on other threads; taken after the byte locks
    std::atomic<bool> recording { false }; // recordToken is not empty; read by the frame intake under its byte lock
    void setRecordToken(const QString &token)
    {
        QMutexLocker lock(&recordTokenLock);
        recordToken = token;
        recording = !token.isEmpty();
        if (!token.isEmpty())
            m_lastToken = token;
    }
    // The lesson whose recording is not finished: recorded now, or stopped
    // with its file still being written (its file is complete once this no
    // longer names it).
    QString currentRecordToken()
    {
        QMutexLocker lock(&recordTokenLock);
        if (!recordToken.isEmpty())
            return recordToken;
        return closesDone < closesRequested ? m_lastToken : QString();
    }

    // Closes asked by the dispatcher and closes the MP3 thread has finished,
    // the backlog written. A new recording waits until the two match, so
    // that nothing of one lesson is taken into the next one's file. The
    // dispatcher counts a close before it clears recordToken.
    std::atomic<quint64> closesRequested { 0 };
    std::atomic<quint64> closesDone { 0 };

    QMutex micByteLock;
    QMutex spkByteLock;
    QMutex micPacketLock;
    QMutex spkPacketLock;
    QByteArray micCache; // bytes not yet cut into packets
    QByteArray spkCache;
    QVector<QByteArray> micByteCache; // packets waiting for the encoder
    QVector<QByteArray> spkByteCache;

    // Packet former state, MP3 thread only.
    qint64 micCount = 0;
    qint64 spkCount = 0;
    qint64 micShortTicks = 0;
    qint64 spkShortTicks = 0;
    qint64 nextDriftCheck = 3003;

    // Counted by the frame intake (the engines' threads), logged at stop.
    std::atomic<quint64> receivedMicFrames { 0 };
    std::atomic<quint64> receivedSpkFrames { 0 };

    // Created and cleared on the MP3 thread; the encoding loop uses it while
    // `writing` is set, and the store is closed only after the loop ended.
    std::atomic<AVFileStoreMP3 *> store { nullptr };
    std::atomic<bool> fileClosed { true };
    std::atomic<bool> writing { false };
    // Packet pairs the open file's store has taken (encoded, and what the
    // encoder released is on disk); reset with every file. Read by tests.
    std::atomic<qint64> pairsWritten { 0 };

    // Spent packets, handed back by the encoding loop and refilled by the
    // packet former: no allocation per packet, and none freed on another
    // thread than the one that made it. poolLock is taken last: nothing else
    // is taken while it is held.
    QMutex poolLock;
    QVector<QByteArray> pool;

    QByteArray takePacket()
    {
        {
            QMutexLocker lock(&poolLock);
            if (!pool.isEmpty())
                return pool.takeLast();
        }
        return QByteArray(recordformat::packetBytes(), Qt::Uninitialized);
    }
    // The first `count` packets of `spent` go back to the pool when nothing
    // else shares them (silence padding shares one buffer among many).
    void recyclePackets(QVector<QByteArray> &spent, int count)
    {
        QMutexLocker lock(&poolLock);
        for (int i = 0; i < count && pool.size() < recordformat::kPooledPackets; ++i) {
            QByteArray &packet = spent[i];
            if (packet.isDetached() && packet.size() == recordformat::packetBytes())
                pool.append(std::move(packet));
        }
    }

    QMutex wakeLock;
    QWaitCondition wake;
    bool packetsQueued = false;

    // The encoding loop sleeps at most its idle time and wakes as soon as
    // packets are queued, so little audio waits in memory. wakeLock is taken
    // alone, never together with the four cache locks.
    void notifyPackets()
    {
        QMutexLocker lock(&wakeLock);
        packetsQueued = true;
        wake.wakeAll();
    }
    void waitForPackets(int ms)
    {
        QMutexLocker lock(&wakeLock);
        if (!packetsQueued)
            wake.wait(&wakeLock, ulong(ms));
        packetsQueued = false;
    }

    // Drops whatever an earlier recording left in the caches (bytes that
    // came in after its file was closed, packets of a file that never
    // opened); returns the bytes and packets dropped.
    QPair<int, int> clearLeftovers()
    {
        QMutexLocker micBytes(&micByteLock);
        QMutexLocker spkBytes(&spkByteLock);
        QMutexLocker micPackets(&micPacketLock);
        QMutexLocker spkPackets(&spkPacketLock);
        const QPair<int, int> dropped(micCache.size() + spkCache.size(), micByteCache.size() + spkByteCache.size());
        micCache.clear();
        spkCache.clear();
        micByteCache.clear();
        spkByteCache.clear();
        return dropped;
    }

    void resetCounters()
    {
        micCount = spkCount = micShortTicks = spkShortTicks = 0;
        receivedMicFrames = receivedSpkFrames = 0;
        pairsWritten = 0;
        nextDriftCheck = recordformat::driftCheckPackets;
    }

private:
    QString m_lastToken; // guarded by recordTokenLock
};

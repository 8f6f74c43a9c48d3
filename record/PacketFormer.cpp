#include "record/PacketFormer.h"

#include "app/TSpdlog.h"

#include <QMutexLocker>

#include <cstring>

using namespace recordformat;

PacketFormer::PacketFormer(RecordState &state, RecordClock clock)
    : m_state(state)
    , m_clock(std::move(clock))
    , m_mic { state.micByteLock, state.micPacketLock, state.micCache, state.micByteCache, state.micCount,
        state.micShortTicks }
    , m_spk { state.spkByteLock, state.spkPacketLock, state.spkCache, state.spkByteCache, state.spkCount,
        state.spkShortTicks }
{
}

// The first `bytes` of the cache (at most a packet) as a packet, padded with
// silence, in a packet the encoding loop handed back.
QByteArray PacketFormer::cut(RecordState &state, QByteArray &cache, int bytes)
{
    QByteArray packet = state.takePacket();
    char *out = packet.data();
    std::memcpy(out, cache.constData(), size_t(bytes));
    std::memset(out + bytes, 0, size_t(packetBytes() - bytes));
    cache.remove(0, bytes);
    return packet;
}

int PacketFormer::form(RecordState &state, Source s)
{
    QMutexLocker bytes(&s.byteLock);
    QMutexLocker packets(&s.packetLock);
    const int size = s.cache.size();
    if (size >= packetBytes()) {
        s.packets.append(cut(state, s.cache, packetBytes()));
        ++s.count;
        s.shortTicks = 0;
    } else if (size == 0) {
        s.packets.append(cut(state, s.cache, 0));
        ++s.count;
    } else if (++s.shortTicks >= kPartialPatienceTicks) {
        // A source that stopped mid-packet: what it sent still goes out, padded.
        s.packets.append(cut(state, s.cache, size));
        ++s.count;
        s.shortTicks = 0;
    }
    return s.packets.size();
}

void PacketFormer::tick()
{
    const int queued = qMin(form(m_state, m_mic), form(m_state, m_spk));
    if (m_state.micCount >= m_state.nextDriftCheck)
        correctDrift();
    // Every packet goes to the encoder at once: the one that completes an
    // MP3 frame lets the encoder release the frame before it, and what
    // waits here is lost if the process dies.
    if (queued > 0)
        m_state.notifyPackets();
}

void PacketFormer::flush()
{
    RecordState &st = m_state;
    QMutexLocker micBytes(&st.micByteLock);
    QMutexLocker spkBytes(&st.spkByteLock);
    QMutexLocker micPackets(&st.micPacketLock);
    QMutexLocker spkPackets(&st.spkPacketLock);
    for (Source *s : { &m_mic, &m_spk }) {
        while (!s->cache.isEmpty()) {
            s->packets.append(cut(st, s->cache, qMin(int(s->cache.size()), packetBytes())));
            ++s->count;
        }
        s->shortTicks = 0;
    }
    while (st.micByteCache.size() < st.spkByteCache.size())
        st.micByteCache.append(cut(st, st.micCache, 0));
    while (st.spkByteCache.size() < st.micByteCache.size())
        st.spkByteCache.append(cut(st, st.spkCache, 0));
}

qint64 PacketFormer::catchUp(RecordState &state, Source s, qint64 fill, const QString &report)
{
    QMutexLocker bytes(&s.byteLock);
    QMutexLocker packets(&s.packetLock);
    while (s.cache.size() >= packetBytes() && fill > 0) {
        s.packets.append(cut(state, s.cache, packetBytes()));
        ++s.count;
        --fill;
    }
    TSpdlog::instance()->avInfo(report.arg(s.cache.size()).arg(s.packets.size()));
    return fill;
}

void PacketFormer::correctDrift()
{
    TSpdlog *log = TSpdlog::instance();
    RecordState &st = m_state;
    const qint64 now = m_clock();
    const qint64 micLack = now - packetMs * st.micCount - m_startMs;
    const qint64 spkLack = now - packetMs * st.spkCount - m_startMs;
    if (micLack > 0 || spkLack > 0) {
        qint64 micFill = micLack / packetMs;
        qint64 spkFill = spkLack / packetMs;
        log->avInfo(QStringLiteral("音频录制: 需要mic填充包数:%1,需要speak填充包数:%2,现在时间戳:%3,开始录制时间戳:%4,"
                                   "mic音频包总个数:%5,spk音频包总个数:%6,缺少mic时间:%7,缺少speaker时间:%8")
                        .arg(micFill)
                        .arg(spkFill)
                        .arg(now)
                        .arg(m_startMs)
                        .arg(st.micCount)
                        .arg(st.spkCount)
                        .arg(micLack)
                        .arg(spkLack));
        micFill = catchUp(m_state, m_mic, micFill, QStringLiteral("音频录制:mic_buffer:%1,mic_bytebuffer:%2"));
        spkFill = catchUp(m_state, m_spk, spkFill, QStringLiteral("音频录制:spk_buffer:%1,spk_bytebuffer:%2"));
        {
            QMutexLocker mic(&st.micByteLock);
            QMutexLocker spk(&st.spkByteLock);
            if (!st.micCache.isEmpty() || !st.spkCache.isEmpty())
                log->avInfo(QStringLiteral("音频录制: 去除mic包:%1,去除speaker包:%2")
                                .arg(st.micCache.size())
                                .arg(st.spkCache.size()));
            st.micCache.clear();
            st.spkCache.clear();
        }
        log->avInfo(QStringLiteral("音频录制: 需要填充静音包数:%1,音频包总个数:%2").arg(micFill).arg(st.micCount));
        if (micFill > 0) {
            QMutexLocker packets(&st.micPacketLock);
            st.micByteCache.append(QVector<QByteArray>(int(micFill), QByteArray(packetBytes(), '\0')));
        }
        log->avInfo(QStringLiteral("音频录制: 需要填充spk静音包数:%1,音频包总个数:%2").arg(spkFill).arg(st.spkCount));
        if (spkFill > 0) {
            QMutexLocker packets(&st.spkPacketLock);
            st.spkByteCache.append(QVector<QByteArray>(int(spkFill), QByteArray(packetBytes(), '\0')));
        }
        st.micCount += micFill;
        st.spkCount += spkFill;
    }
    st.nextDriftCheck = (st.micCount / driftCheckPackets + 1) * driftCheckPackets;
}

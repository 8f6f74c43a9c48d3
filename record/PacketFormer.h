#pragma once

#include "record/RecordClock.h"
#include "record/RecordState.h"

// Cuts the two byte streams into 9 ms packets, one per source per tick,
// silence where a source had nothing, and every 3003 packets puts both
// streams back in line with the wall clock.
class PacketFormer
{
public:
    PacketFormer(RecordState &state, RecordClock clock);

    // The open file's first packet belongs to this time.
    void start(qint64 startMs) { m_startMs = startMs; }
    qint64 startMs() const { return m_startMs; }

    void tick();
    // At close: the bytes still cached become packets (the last one padded)
    // and the shorter queue is evened with silence, so that both channels
    // end together and nothing waits for a next file.
    void flush();

private:
    struct Source {
        QMutex &byteLock;
        QMutex &packetLock;
        QByteArray &cache;
        QVector<QByteArray> &packets;
        qint64 &count;
        qint64 &shortTicks;
    };
    static QByteArray cut(RecordState &state, QByteArray &cache, int bytes);
    static int form(RecordState &state, Source source); // the packets now queued for the encoder
    // Cuts cached bytes into packets for up to `fill` of the missing ones and
    // logs what is left with `report` (byte count, packet count).
    static qint64 catchUp(RecordState &state, Source source, qint64 fill, const QString &report);
    void correctDrift();

    RecordState &m_state;
    RecordClock m_clock;
    qint64 m_startMs = 0;
    Source m_mic;
    Source m_spk;
};

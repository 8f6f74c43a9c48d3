#include "record/AudioMp3Run.h"

#include "app/TSpdlog.h"
#include "media/ffmpeg/FFmpegPtr.h"
#include "record/AVFileStoreMP3.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

#include <QDebug>
#include <QMutexLocker>

#include <cstring>

using namespace recordformat;

namespace
{
// Moves the first `count` packets of `queue` to `taken`; the whole queue
// (the usual case) changes hands without copying.
void takeFront(QVector<QByteArray> &queue, int count, QVector<QByteArray> &taken)
{
    if (count <= 0)
        return;
    if (count == queue.size()) {
        taken.swap(queue);
        return;
    }
    taken = queue.mid(0, count);
    queue.remove(0, count);
}
} // namespace

PacketPairWriter::PacketPairWriter(RecordState &state)
    : m_state(state)
{
}

bool PacketPairWriter::encodePair(const QByteArray &mic, const QByteArray &spk)
{
    // Planar: the microphone is the left channel, the speaker the right. The
    // store copies what it keeps, so one buffer and one frame serve every pair.
    std::vector<uint8_t> &buffer = m_frameBuffer;
    const size_t frameBytes = size_t(2 * packetBytes());
    int r = 0;
    if (!m_frame || buffer.size() != frameBytes) {
        buffer.assign(frameBytes, 0);
        m_frame.reset(av_frame_alloc());
        if (!m_frame)
            return false;
        m_frame->format = AV_SAMPLE_FMT_S16P;
        m_frame->sample_rate = kSampleRate;
        m_frame->nb_samples = packetSamples();
        av_channel_layout_default(&m_frame->ch_layout, 2);
        r = avcodec_fill_audio_frame(m_frame.get(), 2, AV_SAMPLE_FMT_S16P, buffer.data(), int(buffer.size()), 1);
        if (r < 0)
            m_frame.reset(); // set up again for the next pair
    }
    std::memset(buffer.data(), 0, buffer.size());
    std::memcpy(buffer.data(), mic.constData(), size_t(qMin(mic.size(), packetBytes())));
    std::memcpy(buffer.data() + packetBytes(), spk.constData(), size_t(qMin(spk.size(), packetBytes())));
    if (r < 0) {
        char text[1024] = {};
        av_strerror(r, text, sizeof text - 1);
        qDebug() << "fill audio error" << r << text;
        TSpdlog::instance()->avError(QStringLiteral("音频录制: 编码失败:") + QString::number(r) + QStringLiteral("&&")
            + QString::fromUtf8(text));
        return false;
    }
    AVFileStoreMP3 *store = m_state.store.load();
    if (!store) {
        TSpdlog::instance()->avError(QStringLiteral("音频录制: 编码器初始化失败"));
        return false;
    }
    return store->write(m_frame.get()); // the store copies what it keeps
}

int PacketPairWriter::writeQueued()
{
    // All complete pairs at once; a long queue (silence for a gap) is taken
    // in one move rather than packet by packet.
    QVector<QByteArray> mic, spk;
    {
        QMutexLocker micLock(&m_state.micPacketLock);
        QMutexLocker spkLock(&m_state.spkPacketLock);
        const int pairs = qMin(m_state.micByteCache.size(), m_state.spkByteCache.size());
        takeFront(m_state.micByteCache, pairs, mic);
        takeFront(m_state.spkByteCache, pairs, spk);
    }
    // Taken packets are written whatever happens meanwhile: a close waits
    // for them, so that they end in this file and in no other.
    for (int i = 0; i < mic.size(); ++i) {
        if (encodePair(mic[i], spk[i]))
            ++m_state.pairsWritten;
    }
    m_state.recyclePackets(mic, mic.size());
    m_state.recyclePackets(spk, spk.size());
    return mic.size();
}

AudioMp3Run::AudioMp3Run(RecordState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_writer(state)
{
}

void AudioMp3Run::mp3Write()
{
    for (;;) {
        // Set before looking at fileClosed: the closing side sets fileClosed
        // before looking at writing, so one of the two always sees the other.
        // A loop that sees the file closed leaves the queue to the close.
        m_state.writing = true;
        if (m_state.fileClosed)
            break;
        // The packet former wakes us for every packet and the close wakes us
        // too: the idle wait is only a safety net.
        if (m_writer.writeQueued() == 0)
            m_state.waitForPackets(kWriterSafetyWaitMs);
    }
    TSpdlog::instance()->avInfo(QStringLiteral("音频录制: 退出写mp3文件循环"));
    m_state.writing = false;
}

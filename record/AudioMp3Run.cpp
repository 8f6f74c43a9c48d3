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
#include <QThread>

#include <cstring>
#include <vector>

using namespace recordformat;

AudioMp3Run::AudioMp3Run(RecordState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{
}

void AudioMp3Run::encodePair(const QByteArray &mic, const QByteArray &spk)
{
    // Planar: the microphone is the left channel, the speaker the right. The
    // store copies what it keeps, so one buffer serves every pair.
    std::vector<uint8_t> &buffer = m_frameBuffer;
    buffer.assign(size_t(2 * packetBytes()), 0);
    std::memcpy(buffer.data(), mic.constData(), size_t(qMin(mic.size(), packetBytes())));
    std::memcpy(buffer.data() + packetBytes(), spk.constData(), size_t(qMin(spk.size(), packetBytes())));

    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!frame)
        return;
    frame->format = AV_SAMPLE_FMT_S16P;
    frame->sample_rate = kSampleRate;
    frame->nb_samples = packetSamples();
    av_channel_layout_default(&frame->ch_layout, 2);
    const int r = avcodec_fill_audio_frame(frame.get(), 2, AV_SAMPLE_FMT_S16P, buffer.data(), int(buffer.size()), 1);
    if (r < 0) {
        char text[1024] = {};
        av_strerror(r, text, sizeof text - 1);
        qDebug() << "fill audio error" << r << text;
        TSpdlog::instance()->avError(QStringLiteral("音频录制: 编码失败:") + QString::number(r) + QStringLiteral("&&")
            + QString::fromUtf8(text));
        return;
    }
    AVFileStoreMP3 *store = m_state.store.load();
    if (!store) {
        TSpdlog::instance()->avError(QStringLiteral("音频录制: 编码器初始化失败"));
        return;
    }
    store->write(frame.get()); // the store copies what it keeps
}

void AudioMp3Run::mp3Write()
{
    for (;;) {
        // Set before looking at fileClosed: the closing side sets fileClosed
        // before looking at writing, so one of the two always sees the other.
        m_state.writing = true;
        if (m_state.fileClosed)
            break;
        // All complete pairs at once; a long queue (silence for a gap) is
        // taken in one move rather than packet by packet.
        QVector<QByteArray> mic, spk;
        {
            QMutexLocker micLock(&m_state.micPacketLock);
            QMutexLocker spkLock(&m_state.spkPacketLock);
            const int pairs = qMin(m_state.micByteCache.size(), m_state.spkByteCache.size());
            if (pairs > 0) {
                mic = m_state.micByteCache.mid(0, pairs);
                spk = m_state.spkByteCache.mid(0, pairs);
                m_state.micByteCache.remove(0, pairs);
                m_state.spkByteCache.remove(0, pairs);
            }
        }
        int done = 0;
        while (done < mic.size() && !m_state.fileClosed) {
            encodePair(mic[done], spk[done]);
            ++done;
        }
        if (done < mic.size()) {
            // The file is closing: what was not written waits for the next file.
            QMutexLocker micLock(&m_state.micPacketLock);
            QMutexLocker spkLock(&m_state.spkPacketLock);
            m_state.micByteCache = mic.mid(done) + m_state.micByteCache;
            m_state.spkByteCache = spk.mid(done) + m_state.spkByteCache;
            continue;
        }
        m_state.waitForPackets(kWriterIdleMs);
    }
    TSpdlog::instance()->avInfo(QStringLiteral("音频录制: 退出写mp3文件循环"));
    m_state.writing = false;
}

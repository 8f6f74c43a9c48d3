#include "record/AudioMp3.h"

#include "app/TSpdlog.h"
#include "record/AVFileStoreMP3.h"

#include <QMutexLocker>
#include <QThread>

AudioMp3::AudioMp3(RecordState &state, RecordClock clock, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_clock(clock)
    , m_mp3WriteTimer(this)
    , m_former(state, clock)
    , m_rest(state)
{
    m_mp3WriteTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_mp3WriteTimer, &QTimer::timeout, this, &AudioMp3::mp3WriteTimer);
}

AudioMp3::~AudioMp3()
{
    // The store is our child: never leave it to the encoding loop once we go.
    if (m_state.store.load())
        closeFile();
}

void AudioMp3::mp3Open(QString filePath)
{
    if (m_state.store.load())
        return;
    auto *store = new AVFileStoreMP3(filePath, this);
    if (!store->open()) {
        delete store;
        TSpdlog::instance()->avError(QStringLiteral("音频录制: 打开mp3文件失败"));
        emit sgStopRecord();
        return;
    }
    m_state.store = store;
    m_state.fileClosed = false;
    emit sgMp3Write();
    m_former.start(m_clock());
    m_mp3WriteTimer.start(recordformat::packetMs);
    TSpdlog::instance()->avInfo(QStringLiteral("音频录制: 打开mp3文件"));
}

void AudioMp3::mp3WriteTimer() { m_former.tick(); }

void AudioMp3::mp3Close()
{
    closeFile();
    ++m_state.closesDone; // the dispatcher may start the next lesson
}

void AudioMp3::closeFile()
{
    TSpdlog *log = TSpdlog::instance();
    log->avInfo(QStringLiteral("音频录制: 收到关闭mp3文件信号,正在关闭mp3文件"));
    log->avInfo(QStringLiteral("音频录制: 开始停止m_mp3WriteTimer"));
    m_mp3WriteTimer.stop();
    log->avInfo(QStringLiteral("音频录制: 正在停止m_mp3WriteTimer"));
    // The dispatcher let no frame in after the stop: what the sources sent
    // before it becomes the file's last packets.
    const bool open = m_state.store.load() != nullptr;
    if (open)
        m_former.flush();
    m_state.fileClosed = true;
    m_state.notifyPackets(); // the encoding loop sees it at once, not after its idle wait
    while (m_state.writing)
        QThread::msleep(recordformat::kWriterIdleMs);
    log->avInfo(QStringLiteral("音频录制: 退出写mp3线程成功"));
    // Everything queued before the stop belongs to this lesson: the silence
    // of a resumed gap (up to an hour of it) and the audio behind it. It is
    // written here, on this thread, never left for the next file.
    if (open) {
        const int rest = m_rest.writeQueued();
        if (rest > 0)
            log->avInfo(QStringLiteral("音频录制: 关闭前写入积压包数:%1").arg(rest));
    }
    {
        QMutexLocker mic(&m_state.micByteLock);
        QMutexLocker spk(&m_state.spkByteLock);
        log->avInfo(QStringLiteral("音频录制: 关闭时m_micCache缓存 %1").arg(m_state.micCache.size()));
        log->avInfo(QStringLiteral("音频录制: 关闭时m_spkCache缓存 %1").arg(m_state.spkCache.size()));
    }
    {
        QMutexLocker mic(&m_state.micPacketLock);
        QMutexLocker spk(&m_state.spkPacketLock);
        log->avInfo(QStringLiteral("音频录制: 关闭时m_micByteCache缓存 %1").arg(m_state.micByteCache.size()));
        log->avInfo(QStringLiteral("音频录制: 关闭时m_spkByteCache缓存 %1").arg(m_state.spkByteCache.size()));
    }
    if (AVFileStoreMP3 *store = m_state.store.exchange(nullptr)) {
        store->close();
        store->deleteLater();
        log->avInfo(QStringLiteral("音频录制: 关闭mp3文件"));
    }
}

#include "record/AudioDataDispatcher.h"

#include "app/TSpdlog.h"
#include "record/LMRRecordSQLite.h"
#include "record/RecordName.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <QFileInfo>
#include <QMetaMethod>
#include <QMutexLocker>
#include <QThread>

using namespace recordformat;

AudioDataDispatcher::AudioDataDispatcher(
    RecordState &state, LMRRecordSQLite *db, QString recordDir, RecordClock clock, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_db(db)
    , m_recordDir(std::move(recordDir))
    , m_clock(std::move(clock))
    , m_stopTimer(new QTimer(this))
{
    connect(m_stopTimer, &QTimer::timeout, this, &AudioDataDispatcher::stopTimeTiemr);
}

QString AudioDataDispatcher::fileName(const QString &token, const QString &userID)
{
    return token + QLatin1Char('_') + userID + QStringLiteral("_pc") + QStringLiteral(".mp3");
}

void AudioDataDispatcher::accept(const QSharedPointer<AVFrameWrapper> &frame, QMutex &busyLock, bool &busy,
    QMutex &byteLock, QByteArray &cache, std::atomic<quint64> &received)
{
    {
        QMutexLocker lock(&busyLock);
        if (busy)
            return;
        busy = true;
    }
    const AVFrame *f = frame ? frame->frame() : nullptr;
    if (m_state.recording && f && f->data[0] && f->linesize[0] > 0) {
        // Looked at again under the byte lock, which the stop holds while it
        // ends the recording: no byte lands after the file began to close.
        QMutexLocker lock(&byteLock);
        if (m_state.recording) {
            ++received;
            cache.reserve(cache.size() + f->linesize[0]);
            cache.append(reinterpret_cast<const char *>(f->data[0]), f->linesize[0]);
        }
    }
    QMutexLocker lock(&busyLock);
    busy = false;
}

void AudioDataDispatcher::acceptMicData(QSharedPointer<AVFrameWrapper> frame)
{
    accept(frame, m_micBusyLock, m_micBusy, m_state.micByteLock, m_state.micCache, m_state.receivedMicFrames);
}

void AudioDataDispatcher::acceptSpeakerData(QSharedPointer<AVFrameWrapper> frame)
{
    accept(frame, m_spkBusyLock, m_spkBusy, m_state.spkByteLock, m_state.spkCache, m_state.receivedSpkFrames);
}

void AudioDataDispatcher::startRecord(QString token, QString userID, QString userRole)
{
    TSpdlog *log = TSpdlog::instance();
    // The controller refuses these already; a name that leaves the record
    // directory never gets this far from any caller.
    if (!recordname::isPlainFileNameComponent(token) || !recordname::isPlainFileNameComponent(userID)) {
        log->avError(QStringLiteral("音频录制: 拒绝不合法的录制名:") + recordname::forLog(token) + QLatin1Char(',')
            + recordname::forLog(userID));
        return;
    }
    if (token == m_state.recordToken)
        return;
    if (!m_state.recordToken.isEmpty())
        stopRecord();
    // Also after a stop of its own: the last file is written to its end (a
    // resumed gap can queue an hour of silence) before anything of this
    // lesson may enter the caches.
    while (m_state.closesDone < m_state.closesRequested)
        QThread::msleep(kWriterIdleMs);
    const QPair<int, int> dropped = m_state.clearLeftovers();
    if (dropped.first > 0 || dropped.second > 0)
        log->avError(
            QStringLiteral("音频录制: 丢弃上次录制的残留,字节:%1,包:%2").arg(dropped.first).arg(dropped.second));
    // Before the intake opens, so that the received-frame counts are exact.
    m_state.resetCounters();
    m_state.setRecordToken(token);
    m_userID = userID;
    log->avInfo(QStringLiteral("音频录制: 准备启动录制,recordToken:") + token);
    m_filePath = m_recordDir + QLatin1Char('/') + fileName(token, userID);

    qint64 gap = 0;
    if (!QFileInfo::exists(m_filePath)) {
        log->avInfo(QStringLiteral("音频录制: 开始新录制,fileName:") + m_filePath);
        // A single-row update would report a failure for the usual case of
        // no earlier row; retiring touches whatever rows there are.
        m_db->retire(token, userID);
        m_db->add(token, userID, userRole);
    } else {
        log->avInfo(QStringLiteral("音频录制: 承接上次录制,fileName:") + m_filePath);
        if (m_db->getTokenIsNotEmpty(token, userID)) {
            RecordStatusChange again;
            again.upload = QStringLiteral("null");
            m_db->update(token, userID, again);
            const qint64 stop = m_db->getRecordStopTime(token, userID);
            if (stop != 0)
                gap = m_clock() - stop;
        } else {
            m_db->add(token, userID, userRole);
        }
    }
    emit sgMp3Open(m_filePath);
    m_stopTimer->start(kHeartbeatMs);
    if (gap != 0 && gap < kLongestFilledGapMs)
        fillNullAudioDataNum(gap / packetMs);
}

void AudioDataDispatcher::stopTimeTiemr()
{
    RecordStatusChange beat;
    beat.stopTime = m_clock();
    m_db->update(m_state.recordToken, m_userID, beat);
}

void AudioDataDispatcher::stopRecord()
{
    TSpdlog *log = TSpdlog::instance();
    log->avInfo(QStringLiteral("record recv mic package %1").arg(m_state.receivedMicFrames.load()));
    log->avInfo(QStringLiteral("record recv speaker package %1").arg(m_state.receivedSpkFrames.load()));
    if (m_state.recordToken.isEmpty())
        return; // nothing is recorded: no row to touch, no file to close
    log->avInfo(QStringLiteral("音频录制: 录制结束:") + m_state.recordToken);
    m_stopTimer->stop();
    stopTimeTiemr();
    // Counted before the token goes, so that whoever asks for the lesson
    // being recorded sees this one until its file is written to the end.
    // Only when an MP3 thread listens: a dispatcher alone in a test has
    // nobody to wait for.
    if (isSignalConnected(QMetaMethod::fromSignal(&AudioDataDispatcher::sgMp3Close)))
        ++m_state.closesRequested;
    {
        // Under both byte locks: a frame is either in the caches before the
        // close begins, and written with the file, or not taken at all.
        QMutexLocker mic(&m_state.micByteLock);
        QMutexLocker spk(&m_state.spkByteLock);
        m_state.setRecordToken(QString());
    }
    log->avInfo(QStringLiteral("音频录制: 发送关闭mp3文件信号"));
    emit sgMp3Close();
}

void AudioDataDispatcher::fillNullAudioData(qlonglong ms)
{
    if (ms == 0 || ms >= kLongestFilledGapMs)
        return;
    fillNullAudioDataNum(ms / packetMs);
}

void AudioDataDispatcher::fillNullAudioDataNum(qlonglong packnum)
{
    TSpdlog::instance()->avInfo(QStringLiteral("音频录制: 填充静音包数:") + QString::number(packnum));
    if (packnum <= 0)
        return;
    const QVector<QByteArray> silence(int(packnum), QByteArray(packetBytes(), '\0'));
    {
        QMutexLocker mic(&m_state.micPacketLock);
        QMutexLocker spk(&m_state.spkPacketLock);
        m_state.micByteCache += silence;
        m_state.spkByteCache += silence;
    }
    m_state.notifyPackets();
}

void AudioDataDispatcher::switchChannel()
{
    QMutexLocker mic(&m_state.micByteLock);
    QMutexLocker spk(&m_state.spkByteLock);
    m_state.micCache.clear();
    m_state.spkCache.clear();
}

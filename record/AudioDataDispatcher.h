#pragma once

#include "record/AVFrameWrapper.h"
#include "record/RecordClock.h"
#include "record/RecordState.h"

#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QTimer>

class LMRRecordSQLite;

// Dispatcher thread: takes the engines' frames into the byte caches while a
// lesson is recorded, starts and stops recordings, keeps the lesson's row
// current, and pads a resumed recording with silence for the gap.
class AudioDataDispatcher : public QObject
{
    Q_OBJECT
public:
    AudioDataDispatcher(RecordState &state, LMRRecordSQLite *db, QString recordDir,
        RecordClock clock = systemRecordClock(), QObject *parent = nullptr);

    static QString fileName(const QString &token, const QString &userID);
    QString filePath() const { return m_filePath; }

public slots:
    // Any thread: the controller calls them on the engine's thread, so that a
    // frame costs no event and no thread hop (200 of them a second).
    void acceptMicData(QSharedPointer<AVFrameWrapper> frame);
    void acceptSpeakerData(QSharedPointer<AVFrameWrapper> frame);
    void startRecord(QString token, QString userID, QString userRole);
    void stopRecord();
    void fillNullAudioData(qlonglong ms);
    void fillNullAudioDataNum(qlonglong packnum);
    void switchChannel();

signals:
    void sgMp3Open(QString filePath);
    void sgMp3Close();

private slots:
    void stopTimeTiemr();

private:
    void accept(const QSharedPointer<AVFrameWrapper> &frame, QMutex &busyLock, bool &busy, QMutex &byteLock,
        QByteArray &cache, std::atomic<quint64> &received);

    RecordState &m_state;
    LMRRecordSQLite *m_db;
    QString m_recordDir;
    RecordClock m_clock;
    QString m_userID;
    QString m_filePath;
    QTimer *m_stopTimer;
    QMutex m_micBusyLock;
    QMutex m_spkBusyLock;
    bool m_micBusy = false;
    bool m_spkBusy = false;
};

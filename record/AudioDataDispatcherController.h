#pragma once

#include "record/AVFrameWrapper.h"
#include "record/RecordClock.h"
#include "record/RecordState.h"

#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QThread>

#include <memory>

class AudioDataDispatcher;
class AudioMp3;
class AudioMp3Run;
class LMRRecordSQLite;

// The recorder's one public face, published to QML as "recordDispatcher";
// the engines' micFrame and spkFrame end here. Every slot only forwards, by
// queued signal, to the workers on their own threads.
class AudioDataDispatcherController : public QObject
{
    Q_OBJECT
public:
    // The process's recorder: made by the start-up, which ends it before exit
    // so that the lesson's file is closed cleanly.
    static AudioDataDispatcherController *instance() { return s_instance; }
    static std::unique_ptr<AudioDataDispatcherController> createProcessRecorder();

    // A recorder on the given state, status store, folder and clock.
    AudioDataDispatcherController(RecordState &state, LMRRecordSQLite *db, QString recordDir,
        RecordClock clock = systemRecordClock(), QObject *parent = nullptr);
    ~AudioDataDispatcherController() override;

    AudioDataDispatcher *dispatcher() const { return m_dispatcher; }
    RecordState &state() const { return m_state; }

    Q_INVOKABLE bool isUploading() const { return false; } // the upload side reports here once it runs
    Q_INVOKABLE bool isRecording() const { return !m_state.fileClosed; }

public slots:
    void acceptMicData(QSharedPointer<AVFrameWrapper> frame);
    void acceptSpeakerData(QSharedPointer<AVFrameWrapper> frame);
    void startRecord(QString token, QString userID, QString userRole);
    void stopRecord();
    void switchChannel();

signals:
    void sgAcceptMicData(QSharedPointer<AVFrameWrapper> frame);
    void sgAcceptSpeakerData(QSharedPointer<AVFrameWrapper> frame);
    void sgStartRecord(QString token, QString userID, QString userRole);
    void sgStopRecord();
    void sgSwitchChannel();
    void sgStartFillNullAudioDataTimer(); // declared for the page side; never emitted

private:
    static QPointer<AudioDataDispatcherController> s_instance;

    RecordState &m_state;
    QThread m_dispatcherThread;
    QThread m_mp3Thread;
    QThread m_mp3WriteThread;
    // Owned by their threads: each is deleted by its thread's finished().
    AudioDataDispatcher *m_dispatcher;
    AudioMp3 *m_mp3;
    AudioMp3Run *m_mp3Run;
};

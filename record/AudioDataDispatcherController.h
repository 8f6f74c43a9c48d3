#pragma once

#include "net/LMRAosInterface.h"
#include "record/AVFrameWrapper.h"
#include "record/AudioUploadReport.h"
#include "record/RecordClock.h"
#include "record/RecordState.h"
#include "record/UploadState.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QThread>

#include <functional>
#include <memory>

class AudioDataDispatcher;
class FrameIntake;
class AudioMp3;
class AudioMp3Run;
class AudioUpload;
class AudioUploadRun;
class HttpMsg;
class LMRAosController;
class LMRRecordSQLite;

// Where the upload side sends recordings and whom it asks; without `aos` the
// recorder records only.
struct RecorderUploads {
    UploadState *state = &UploadState::process();
    LMRAosController *aos = nullptr;
    HttpMsg *http = nullptr;
    // Asked on the controller's thread only, when a recording is queued.
    std::function<QString()> userId; // the class information's user
    std::function<QString()> storedUserId; // the user in the settings file
    std::function<bool()> userIsTeacher;
    std::function<void(QString)> notifyPage; // a notification text for the page
    int runnerIdleMs = 1000;
    int reportTimeoutMs = AudioUploadReport::kReportTimeoutMs; // per report attempt; tests shorten it
};

// The recorder's one public face, published to QML as "recordDispatcher";
// the engines' micFrame and spkFrame end here. Every slot only forwards, by
// queued signal, to the workers on their own threads. It also receives the
// object-storage results of its uploads.
class AudioDataDispatcherController : public QObject, public LMRAosInterface
{
    Q_OBJECT
public:
    // The process's recorder: made by the start-up, which ends it before exit
    // so that the lesson's file is closed cleanly.
    static AudioDataDispatcherController *instance() { return s_instance; }
    static std::unique_ptr<AudioDataDispatcherController> createProcessRecorder();

    AudioDataDispatcherController(RecordState &state, LMRRecordSQLite *db, QString recordDir,
        RecordClock clock = systemRecordClock(), RecorderUploads uploads = RecorderUploads(),
        QObject *parent = nullptr);
    ~AudioDataDispatcherController() override;

    AudioDataDispatcher *dispatcher() const { return m_dispatcher; }
    RecordState &state() const { return m_state; }

    using FrameSink = std::function<void(QSharedPointer<AVFrameWrapper>)>;
    FrameSink micSink() const;
    FrameSink speakerSink() const;

    Q_INVOKABLE bool isUploading() const { return m_uploads.state->uploading; }
    Q_INVOKABLE bool isRecording() const { return !m_state.fileClosed; }

    void onAosProgress(QString progress_com_id, qlonglong progress) override;
    void onAosEffect(QString com_id, QString effect) override;

public slots:
    // Any thread, while the controller lives. Engines connect micSink() and
    // speakerSink() instead, which also stay safe while it is destroyed.
    void acceptMicData(QSharedPointer<AVFrameWrapper> frame);
    void acceptSpeakerData(QSharedPointer<AVFrameWrapper> frame);
    // False, with a log line, for a token or user id that is no plain file
    // name (see recordname::isPlainFileNameComponent): the page is told
    // instead of a file being made outside the record directory.
    bool startRecord(QString token, QString userID, QString userRole);
    void stopRecord();
    void switchChannel();
    // False, with a log line, for a token that is no plain file name.
    bool handUpload(QString token, bool callH5);
    bool handUpload(QString token);
    void autoUpload();
    void uploadError(QString token);
    void uploadCount(int count);

signals:
    void sgAcceptMicData(QSharedPointer<AVFrameWrapper> frame);
    void sgAcceptSpeakerData(QSharedPointer<AVFrameWrapper> frame);
    void sgStartRecord(QString token, QString userID, QString userRole);
    void sgStopRecord();
    void sgSwitchChannel();
    void sgStartFillNullAudioDataTimer(); // declared for the page side; never emitted
    void sgHandUpload(QString token, bool callH5);
    void sgAutoUpload();
    void sgUploadRun();
    void sgUploadProgress(QString progress_com_id, qlonglong progress);
    void sgUploadDialogInfo(int cur, int total);
    void sgUploadfinished();

private:
    void reportUpload(const QString &token, const QString &url);
    void uploadDone(const QString &token);
    UploadOwner currentOwner() const;
    UploadOwner ownerOf(const QString &token) const;
    void forgetOwner(const QString &token);

    static QPointer<AudioDataDispatcherController> s_instance;

    RecordState &m_state;
    LMRRecordSQLite *m_db;
    RecorderUploads m_uploads;
    QThread m_dispatcherThread;
    QThread m_mp3Thread;
    QThread m_mp3WriteThread;
    QThread m_uploadThread;
    QThread m_uploadRunThread;
    // Owned by their threads: each is deleted by its thread's finished().
    AudioDataDispatcher *m_dispatcher;
    AudioMp3 *m_mp3;
    AudioMp3Run *m_mp3Run;
    AudioUpload *m_upload = nullptr;
    AudioUploadRun *m_uploadRun = nullptr;
    int m_dialogTotal = 0;
    int m_dialogCurrent = 0;
    std::shared_ptr<FrameIntake> m_intake;
};

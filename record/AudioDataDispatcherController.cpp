#include "record/AudioDataDispatcherController.h"

#include "app/DirHelper.h"
#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "net/HttpMsg.h"
#include "net/LMRAosController.h"
#include "record/AudioDataDispatcher.h"
#include "record/AudioMp3.h"
#include "record/AudioMp3Run.h"
#include "record/AudioUpload.h"
#include "record/AudioUploadReport.h"
#include "record/AudioUploadRun.h"
#include "record/FrameIntake.h"
#include "record/LMRRecordSQLite.h"
#include "record/RecordName.h"
#include "web/LMRUserInfo.h"
#include "web/QMLNotify.h"

#include <QMutexLocker>

QPointer<AudioDataDispatcherController> AudioDataDispatcherController::s_instance;

std::unique_ptr<AudioDataDispatcherController> AudioDataDispatcherController::createProcessRecorder()
{
    RecorderUploads uploads;
    uploads.aos = LMRAosController::instance();
    uploads.http = HttpMsg::instance();
    uploads.userId = []() { return LMRUserInfo::instance()->userId(); };
    uploads.storedUserId = []() { return LMRConfig::instance()->getUserID(); };
    uploads.userIsTeacher = []() { return LMRUserInfo::instance()->userRole() == LMRUserInfo::UserRole_Teacher; };
    uploads.notifyPage = [](QString json) { QMLNotify::instance()->triggerSgNotifyH5(json); };
    auto controller = std::make_unique<AudioDataDispatcherController>(RecordState::process(),
        LMRRecordSQLite::instance(), DirHelper::instance()->recordPath(), systemRecordClock(), uploads);
    s_instance = controller.get();
    return controller;
}

AudioDataDispatcherController::AudioDataDispatcherController(RecordState &state, LMRRecordSQLite *db, QString recordDir,
    RecordClock clock, RecorderUploads uploads, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_db(db)
    , m_uploads(std::move(uploads))
    , m_dispatcher(new AudioDataDispatcher(state, db, recordDir, clock))
    , m_mp3(new AudioMp3(state, clock))
    , m_mp3Run(new AudioMp3Run(state))
    , m_intake(std::make_shared<FrameIntake>(m_dispatcher))
{
    qRegisterMetaType<QSharedPointer<AVFrameWrapper>>("QSharedPointer<AVFrameWrapper>");
    m_dispatcher->moveToThread(&m_dispatcherThread);
    m_mp3->moveToThread(&m_mp3Thread);
    m_mp3Run->moveToThread(&m_mp3WriteThread);

    connect(this, &AudioDataDispatcherController::sgAcceptMicData, m_dispatcher, &AudioDataDispatcher::acceptMicData);
    connect(this, &AudioDataDispatcherController::sgAcceptSpeakerData, m_dispatcher,
        &AudioDataDispatcher::acceptSpeakerData);
    connect(this, &AudioDataDispatcherController::sgStartRecord, m_dispatcher, &AudioDataDispatcher::startRecord);
    connect(this, &AudioDataDispatcherController::sgStopRecord, m_dispatcher, &AudioDataDispatcher::stopRecord);
    connect(this, &AudioDataDispatcherController::sgSwitchChannel, m_dispatcher, &AudioDataDispatcher::switchChannel);
    connect(m_dispatcher, &AudioDataDispatcher::sgMp3Open, m_mp3, &AudioMp3::mp3Open);
    connect(m_dispatcher, &AudioDataDispatcher::sgMp3Close, m_mp3, &AudioMp3::mp3Close);
    connect(m_mp3, &AudioMp3::sgMp3Write, m_mp3Run, &AudioMp3Run::mp3Write);
    connect(m_mp3, &AudioMp3::sgStopRecord, m_dispatcher, &AudioDataDispatcher::stopRecord);
    connect(&m_dispatcherThread, &QThread::finished, m_dispatcher, &QObject::deleteLater);
    connect(&m_mp3Thread, &QThread::finished, m_mp3, &QObject::deleteLater);
    connect(&m_mp3WriteThread, &QThread::finished, m_mp3Run, &QObject::deleteLater);

    if (m_uploads.aos) {
        UploadState &up = *m_uploads.state;
        up.exit = false;
        // Old files go before anything else runs.
        m_upload = new AudioUpload(up, db, recordDir, m_uploads.storedUserId ? m_uploads.storedUserId() : QString());
        m_upload->moveToThread(&m_uploadThread);
        // The object-storage entry points belong to the GUI thread: the
        // runner asks for them there.
        QPointer<LMRAosController> aos = m_uploads.aos;
        UploadRoutes routes;
        routes.uploadFile = [aos](QString comId, QString bucket, QString key, QString path, bool cdn) {
            QMetaObject::invokeMethod(
                aos, [=]() { aos->uploadFile(comId, QStringLiteral("true"), bucket, key, path, cdn); },
                Qt::QueuedConnection);
        };
        routes.postFile = [aos](QString comId, QString bucket, QString key, QString path) {
            QMetaObject::invokeMethod(
                aos, [=]() { aos->postFile(comId, bucket, key, path); }, Qt::QueuedConnection);
        };
        m_uploadRun = new AudioUploadRun(up, state, db, recordDir, routes);
        m_uploadRun->idleMs = m_uploads.runnerIdleMs;
        m_uploadRun->moveToThread(&m_uploadRunThread);
        connect(this, &AudioDataDispatcherController::sgHandUpload, m_upload, &AudioUpload::handUpload);
        connect(this, &AudioDataDispatcherController::sgAutoUpload, m_upload, &AudioUpload::autoUpload);
        connect(this, &AudioDataDispatcherController::sgUploadRun, m_uploadRun, &AudioUploadRun::run);
        connect(m_uploadRun, &AudioUploadRun::sgError, this, &AudioDataDispatcherController::uploadError);
        connect(m_uploadRun, &AudioUploadRun::sgUploadCount, this, &AudioDataDispatcherController::uploadCount);
        connect(&m_uploadThread, &QThread::finished, m_upload, &QObject::deleteLater);
        connect(&m_uploadRunThread, &QThread::finished, m_uploadRun, &QObject::deleteLater);
        m_uploads.aos->registerReceiver(this);
    }

    // Named for the system's thread list: support can tell where time goes.
    m_dispatcherThread.setObjectName(QStringLiteral("rec-dispatch"));
    m_mp3Thread.setObjectName(QStringLiteral("rec-mp3"));
    m_mp3WriteThread.setObjectName(QStringLiteral("rec-mp3write"));
    m_uploadThread.setObjectName(QStringLiteral("rec-upload"));
    m_uploadRunThread.setObjectName(QStringLiteral("rec-uploadrun"));
    m_dispatcherThread.start(QThread::InheritPriority);
    m_mp3Thread.start(QThread::InheritPriority);
    m_mp3WriteThread.start(QThread::InheritPriority);
    if (m_upload) {
        m_uploadThread.start(QThread::InheritPriority);
        m_uploadRunThread.start(QThread::InheritPriority);
        emit sgUploadRun();
    }
}

AudioDataDispatcherController::~AudioDataDispatcherController()
{
    m_intake->close();
    if (m_uploads.aos)
        m_uploads.aos->unregisterReceiver(this);
    // QThread::quit() ends an event loop without delivering what is still
    // queued for it. A stop or a close lost that way left the encoding loop
    // running, or running on a store deleted with AudioMp3. So the stop runs
    // to its end on the dispatcher thread, then everything queued on the MP3
    // thread (the close that the stop sent among it), before any thread quits.
    QMetaObject::invokeMethod(m_dispatcher, &AudioDataDispatcher::stopRecord, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(
        m_mp3, [] {}, Qt::BlockingQueuedConnection);
    m_uploads.state->exit = true;
    for (QThread *thread :
        { &m_dispatcherThread, &m_mp3Thread, &m_mp3WriteThread, &m_uploadThread, &m_uploadRunThread }) {
        thread->quit();
        thread->wait();
    }
}

void AudioDataDispatcherController::acceptMicData(QSharedPointer<AVFrameWrapper> frame) { m_intake->mic(frame); }

void AudioDataDispatcherController::acceptSpeakerData(QSharedPointer<AVFrameWrapper> frame)
{
    m_intake->speaker(frame);
}

AudioDataDispatcherController::FrameSink AudioDataDispatcherController::micSink() const
{
    return [intake = m_intake](QSharedPointer<AVFrameWrapper> frame) { intake->mic(frame); };
}

AudioDataDispatcherController::FrameSink AudioDataDispatcherController::speakerSink() const
{
    return [intake = m_intake](QSharedPointer<AVFrameWrapper> frame) { intake->speaker(frame); };
}

namespace
{
// The page's names become file names: checked here, where the page can
// still be answered.
bool acceptName(const QString &name)
{
    if (recordname::isPlainFileNameComponent(name))
        return true;
    TSpdlog::instance()->avError(QStringLiteral("音频录制: 拒绝不合法的录制名:") + recordname::forLog(name));
    return false;
}
} // namespace

bool AudioDataDispatcherController::startRecord(QString token, QString userID, QString userRole)
{
    if (!acceptName(token) || !acceptName(userID))
        return false;
    emit sgStartRecord(token, userID, userRole);
    return true;
}

void AudioDataDispatcherController::stopRecord() { emit sgStopRecord(); }

void AudioDataDispatcherController::switchChannel() { emit sgSwitchChannel(); }

UploadOwner AudioDataDispatcherController::currentOwner() const
{
    UploadOwner owner;
    owner.userId = m_uploads.userId ? m_uploads.userId() : QString();
    owner.teacher = m_uploads.userIsTeacher && m_uploads.userIsTeacher();
    return owner;
}

bool AudioDataDispatcherController::handUpload(QString token, bool callH5)
{
    if (!acceptName(token))
        return false;
    {
        const UploadOwner owner = currentOwner();
        QMutexLocker lock(&m_uploads.state->queueLock);
        m_uploads.state->owners[token] = owner;
    }
    emit sgHandUpload(token, callH5);
    return true;
}

bool AudioDataDispatcherController::handUpload(QString token) { return handUpload(token, true); }

void AudioDataDispatcherController::autoUpload()
{
    const UploadOwner owner = currentOwner();
    {
        QMutexLocker lock(&m_uploads.state->queueLock);
        m_uploads.state->autoUploadOwner = owner;
    }
    emit sgAutoUpload();
}

UploadOwner AudioDataDispatcherController::ownerOf(const QString &token) const
{
    QMutexLocker lock(&m_uploads.state->queueLock);
    return m_uploads.state->owners.value(token);
}

void AudioDataDispatcherController::forgetOwner(const QString &token)
{
    QMutexLocker lock(&m_uploads.state->queueLock);
    if (!m_uploads.state->queue.contains(token))
        m_uploads.state->owners.remove(token);
}

void AudioDataDispatcherController::uploadError(QString token)
{
    bool tell = false;
    {
        QMutexLocker lock(&m_uploads.state->queueLock);
        tell = m_uploads.state->callH5[token]; // a missing entry is made, as false
    }
    if (tell && m_uploads.notifyPage)
        m_uploads.notifyPage(
            QMLNotify::instance()->callH5_jsUploadProcessNotify(token, QStringLiteral("upload_audio_fail"), QString()));
}

void AudioDataDispatcherController::uploadCount(int count)
{
    if (m_dialogTotal == 0) {
        m_dialogTotal = count;
        m_dialogCurrent = 1;
    } else {
        m_dialogCurrent = m_dialogTotal - count + 1;
    }
    emit sgUploadDialogInfo(m_dialogCurrent, m_dialogTotal);
    if (m_dialogCurrent == m_dialogTotal)
        m_dialogTotal = m_dialogCurrent = 0;
}

void AudioDataDispatcherController::onAosProgress(QString progress_com_id, qlonglong progress)
{
    const QString token = uploadnames::tokenOf(progress_com_id);
    if (token.isEmpty())
        return;
    emit sgUploadProgress(progress_com_id, progress);
    if (m_uploads.notifyPage)
        m_uploads.notifyPage(QMLNotify::instance()->callH5_jsUploadProcessNotify(
            token, QStringLiteral("upload_progress"), QString::number(progress)));
}

void AudioDataDispatcherController::onAosEffect(QString com_id, QString effect)
{
    const QString token = uploadnames::tokenOf(com_id);
    if (token.isEmpty())
        return;
    UploadState &up = *m_uploads.state;
    TSpdlog *log = TSpdlog::instance();
    if (effect.isEmpty()) {
        bool callH5 = false;
        {
            QMutexLocker lock(&up.queueLock);
            callH5 = up.callH5.value(token);
        }
        switch (up.route.load()) {
        case 0:
            log->avError(
                QStringLiteral("音频录制: 上海线路上传失败，尝试国际线路") + QStringLiteral(" token:") + token);
            up.route = 1;
            emit sgHandUpload(token, callH5);
            break;
        case 1:
            log->avError(QStringLiteral("音频录制: 国际线路失败，尝试服务器线路") + QStringLiteral(" token:") + token);
            up.route = 2;
            emit sgHandUpload(token, callH5);
            break;
        default:
            log->avError(QStringLiteral("音频录制: 上传失败") + QStringLiteral(" token:") + token);
            up.route = 0;
            uploadError(token);
            forgetOwner(token);
            up.uploading = false;
            emit sgUploadfinished();
            return;
        }
        up.uploading = false;
        return;
    }
    // The flag stays up until the report is done, so that quitting waits
    // for it; the report never blocks, and gives up after its time-out.
    reportUpload(token, effect);
}

void AudioDataDispatcherController::uploadDone(const QString &token)
{
    forgetOwner(token);
    m_uploads.state->uploading = false;
    emit sgUploadfinished();
}

void AudioDataDispatcherController::reportUpload(const QString &token, const QString &url)
{
    // The recording's owner, as queued: the class information may name
    // somebody else by the time the store answers.
    const QString user = ownerOf(token).userId;
    if (m_uploads.notifyPage)
        m_uploads.notifyPage(QMLNotify::instance()->callH5_jsTransferAudioURL(token, url));
    auto *report = new AudioUploadReport(
        m_uploads.http, m_db, token, user, m_db->getRole(token, user), url, m_uploads.reportTimeoutMs, this);
    connect(report, &AudioUploadReport::sgReportDone, this, [this, report](QString done) {
        report->deleteLater();
        uploadDone(done);
    });
    report->start();
}

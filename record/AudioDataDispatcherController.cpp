#include "record/AudioDataDispatcherController.h"

#include "app/DirHelper.h"
#include "record/AudioDataDispatcher.h"
#include "record/AudioMp3.h"
#include "record/AudioMp3Run.h"
#include "record/LMRRecordSQLite.h"

QPointer<AudioDataDispatcherController> AudioDataDispatcherController::s_instance;

std::unique_ptr<AudioDataDispatcherController> AudioDataDispatcherController::createProcessRecorder()
{
    auto controller = std::make_unique<AudioDataDispatcherController>(
        RecordState::process(), LMRRecordSQLite::instance(), DirHelper::instance()->recordPath());
    s_instance = controller.get();
    return controller;
}

AudioDataDispatcherController::AudioDataDispatcherController(
    RecordState &state, LMRRecordSQLite *db, QString recordDir, RecordClock clock, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_dispatcher(new AudioDataDispatcher(state, db, std::move(recordDir), clock))
    , m_mp3(new AudioMp3(state, clock))
    , m_mp3Run(new AudioMp3Run(state))
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

    // Named for the system's thread list: support can tell where time goes.
    m_dispatcherThread.setObjectName(QStringLiteral("rec-dispatch"));
    m_mp3Thread.setObjectName(QStringLiteral("rec-mp3"));
    m_mp3WriteThread.setObjectName(QStringLiteral("rec-mp3write"));
    m_dispatcherThread.start(QThread::InheritPriority);
    m_mp3Thread.start(QThread::InheritPriority);
    m_mp3WriteThread.start(QThread::InheritPriority);
}

AudioDataDispatcherController::~AudioDataDispatcherController()
{
    // The stop reaches the dispatcher before its thread's quit; the close it
    // sends reaches the MP3 thread before that thread's quit.
    emit sgStopRecord();
    m_dispatcherThread.quit();
    m_dispatcherThread.wait();
    m_mp3Thread.quit();
    m_mp3Thread.wait();
    m_mp3WriteThread.quit();
    m_mp3WriteThread.wait();
}

void AudioDataDispatcherController::acceptMicData(QSharedPointer<AVFrameWrapper> frame) { emit sgAcceptMicData(frame); }

void AudioDataDispatcherController::acceptSpeakerData(QSharedPointer<AVFrameWrapper> frame)
{
    emit sgAcceptSpeakerData(frame);
}

void AudioDataDispatcherController::startRecord(QString token, QString userID, QString userRole)
{
    emit sgStartRecord(token, userID, userRole);
}

void AudioDataDispatcherController::stopRecord() { emit sgStopRecord(); }

void AudioDataDispatcherController::switchChannel() { emit sgSwitchChannel(); }

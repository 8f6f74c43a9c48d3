#pragma once

#include "media/MediaEngine.h"
#include "media/video/VideoViews.h"
#include "record/AVFrameWrapper.h"

#include <ITRTCCloud.h>

#include <QHash>
#include <QLibrary>
#include <QMutex>
#include <QObject>
#include <QQuickItem>
#include <QSharedPointer>
#include <QStringList>

#include <atomic>
#include <functional>

// The TRTC engine behind the media contract ("trtcEngine"). The SDK library
// is loaded at run time from the "LiteAV" folder beside the executable; a
// missing library or entry point ends the process at construction.
class LMRTRtc : public MediaEngine,
                public ITRTCCloudCallback,
                public ITRTCLogCallback,
                public ITRTCVideoRenderCallback,
                public ITRTCAudioFrameCallback
{
    Q_OBJECT
public:
    // Whether a camera can capture width x height at fps; the device
    // manager's answer unless a test gives its own.
    using CameraCheck = std::function<bool(const QString &uuid, int width, int height, int fps)>;

    explicit LMRTRtc(QObject *parent = nullptr, CameraCheck cameraCheck = CameraCheck());
    ~LMRTRtc() override;

    Q_INVOKABLE void init();
    Q_INVOKABLE void release();
    Q_INVOKABLE bool isInit() const { return m_initialized; }
    Q_INVOKABLE void enterRoom(QString uid, QString sig, int roomid);
    Q_INVOKABLE void exitRoom();
    Q_INVOKABLE bool setCameraDrive(QString uuid);
    Q_INVOKABLE bool setMicDrive(QString uuid);
    Q_INVOKABLE bool setPlayerDrive(QString uuid);
    Q_INVOKABLE void setupLocalVideo(QQuickItem *view);
    Q_INVOKABLE void setupRemoteVideo(QString id, QQuickItem *view);
    Q_INVOKABLE void enableLocalVideo(bool flag);
    Q_INVOKABLE void enableLocalAudio(bool flag);
    Q_INVOKABLE void muteAllRemoteAudioStreams(bool flag);
    Q_INVOKABLE void setMediaVolume(int value);
    Q_INVOKABLE int playMedia(QString path);
    Q_INVOKABLE bool resumeMedia();
    Q_INVOKABLE bool pauseMedia();
    Q_INVOKABLE void stopMedia();
    Q_INVOKABLE void seekMedia(int ms_pos);
    Q_INVOKABLE QStringList getCurrentPos();
    Q_INVOKABLE void test();
    Q_INVOKABLE void setSkinSmooth(uint32_t grad);

    bool inRoom() const { return m_inRoom; }

    // ITRTCCloudCallback, on the SDK's event threads.
    void onError(TXLiteAVError errCode, const char *errMsg, void *arg) override;
    void onWarning(TXLiteAVWarning warningCode, const char *warningMsg, void *arg) override;
    void onEnterRoom(int result) override;
    void onExitRoom(int reason) override;
    void onUserVideoAvailable(const char *userId, bool available) override;
    void onStatistics(const TRTCStatistics &statistics) override;
    void onUserVoiceVolume(TRTCVolumeInfo *userVolumes, uint32_t userVolumesCount, uint32_t totalVolume) override;
    void onPlayBGMProgress(uint32_t progressMS, uint32_t durationMS) override;
    void onPlayBGMComplete(TXLiteAVError err) override;
    // ITRTCLogCallback: the SDK writes its own log files.
    void onLog(const char *, TRTCLogLevel, const char *) override { }
    // ITRTCVideoRenderCallback, on the SDK's render thread.
    void onRenderVideoFrame(const char *userId, TRTCVideoStreamType streamType, TRTCVideoFrame *frame) override;
    // ITRTCAudioFrameCallback, on the SDK's audio thread.
    void onCapturedAudioFrame(TRTCAudioFrame *frame) override;
    void onPlayAudioFrame(TRTCAudioFrame *, const char *) override { }
    void onMixedPlayAudioFrame(TRTCAudioFrame *frame) override;

signals:
    void userVideoAvailable(QString uid, bool available);
    void rtcStats(int lastmileDelay);

private:
    [[noreturn]] static void fatal(const QString &line);
    void leaveSequence();

    bool m_initialized = false;
    std::atomic<bool> m_inRoom { false }; // written on the event threads, read on the audio thread
    std::atomic<bool> m_localAudioMuted { false };
    ITRTCCloud *m_cloud = nullptr;
    GetTRTCShareInstance m_getTRTCShareInstance = nullptr;
    DestroyTRTCShareInstance m_destroyTRTCShareInstance = nullptr;
    VideoViews m_views; // key: TRTC user id
    QStringList m_position; // [duration s, position s]; empty while nothing plays; under m_positionMutex
    mutable QMutex m_positionMutex; // written on the event thread, read on the GUI thread
    QLibrary m_library;
    CameraCheck m_cameraCheck;
};

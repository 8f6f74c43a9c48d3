#pragma once

#include "media/MediaEngine.h"
#include "media/video/VideoViews.h"
#include "record/AVFrameWrapper.h"

#include <IAgoraRtcEngine.h>

#include <QHash>
#include <QObject>
#include <QQuickItem>
#include <QSharedPointer>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <memory>

class LMRAgora;

class LMRAgoraVideoCallback : public agora::media::IVideoFrameObserver
{
public:
    explicit LMRAgoraVideoCallback(LMRAgora *agora)
        : m_agora(agora)
    {
    }
    bool onCaptureVideoFrame(VideoFrame &videoFrame) override;
    bool onRenderVideoFrame(unsigned int uid, VideoFrame &videoFrame) override;

    // I420 with equal chroma strides, luma stride twice theirs, sides within bounds.
    static bool acceptable(const VideoFrame &frame);

private:
    LMRAgora *m_agora;
};

class LMRAgoraAudioCallback : public agora::media::IAudioFrameObserver
{
public:
    explicit LMRAgoraAudioCallback(LMRAgora *agora)
        : m_agora(agora)
    {
    }
    bool onRecordAudioFrame(AudioFrame &audioFrame) override;
    bool onPlaybackAudioFrame(AudioFrame &audioFrame) override;
    bool onMixedAudioFrame(AudioFrame &) override { return true; }
    bool onPlaybackAudioFrameBeforeMixing(unsigned int, AudioFrame &) override { return true; }
    bool isMultipleChannelFrameWanted() override { return false; }

private:
    LMRAgora *m_agora;
};

// The Agora engine behind the media contract ("agoraEngine").
class LMRAgora : public MediaEngine, public agora::rtc::IRtcEngineEventHandler
{
    Q_OBJECT
public:
    explicit LMRAgora(QObject *parent = nullptr);
    ~LMRAgora() override;

    Q_INVOKABLE void init();
    Q_INVOKABLE void release();
    Q_INVOKABLE bool isInit() const { return m_initialized; }
    Q_INVOKABLE void enterRoom(QString uid, QString sig, QString roomid);
    Q_INVOKABLE void exitRoom();
    Q_INVOKABLE void setCameraDrive(QString uuid);
    Q_INVOKABLE void setMicDrive(QString uuid);
    Q_INVOKABLE void setPlayerDrive(QString uuid);
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

    static bool inRoom() { return s_inRoom; }

    // SDK thread entries of the frame observers.
    void handleCaptureVideo(const agora::media::IVideoFrameObserver::VideoFrame &frame);
    void handleRenderVideo(unsigned int uid, const agora::media::IVideoFrameObserver::VideoFrame &frame);
    void handleRecordAudio(const agora::media::IAudioFrameObserver::AudioFrame &frame);
    void handlePlaybackAudio(const agora::media::IAudioFrameObserver::AudioFrame &frame);

    // IRtcEngineEventHandler, on the SDK's event thread.
    void onWarning(int warn, const char *msg) override;
    void onError(int err, const char *msg) override;
    void onJoinChannelSuccess(const char *channel, agora::rtc::uid_t uid, int elapsed) override;
    void onRtcStats(const agora::rtc::RtcStats &stats) override;
    void onRemoteAudioStats(const agora::rtc::RemoteAudioStats &stats) override;
    void onAudioVolumeIndication(
        const agora::rtc::AudioVolumeInfo *speakers, unsigned int speakerNumber, int totalVolume) override;
    void onConnectionStateChanged(
        agora::rtc::CONNECTION_STATE_TYPE state, agora::rtc::CONNECTION_CHANGED_REASON_TYPE reason) override;

signals:
    void userVideoAvailable(QString uid, bool available);
    void rtcStats(ushort lastmileDelay);
    void remoteAudioStats(int networkTransportDelay);
    void sgCloseVideoTimer(QString uid);

public slots:
    void setCloseVideoTimer(QString uid);
    void onCloseVideoTimer();

private:
    void selectAudioDevice(const QString &uuid, bool playback);

    agora::rtc::IRtcEngine *m_engine = nullptr;
    bool m_initialized = false;
    std::atomic<bool> m_localAudioMuted { false };
    QString m_uid, m_sig, m_roomid;
    QHash<QString, QTimer *> m_closeVideoTimers;
    VideoViews m_views; // key: Agora uid
    std::unique_ptr<LMRAgoraVideoCallback> m_videoCallback;
    std::unique_ptr<LMRAgoraAudioCallback> m_audioCallback;

    static std::atomic<bool> s_inRoom;
};

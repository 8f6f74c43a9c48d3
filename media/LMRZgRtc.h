#pragma once

#include "media/MediaEngine.h"
#include "media/ZegoHandlers.h"
#include "media/video/VideoFrameConvert.h"
#include "media/video/VideoViews.h"
#include "record/AVFrameWrapper.h"

#include <ZegoExpressSDK.h>

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QQuickItem>
#include <QSet>
#include <QSharedPointer>
#include <QStringList>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// The Zego engine behind the media contract ("zgRtcEngine"). It joins with
// loginRoom, publishes its own stream under the user id and plays the remote
// streams the room announces.
class LMRZgRtc : public MediaEngine,
                 public OnRenderDataInterface,
                 public IAudioDataCallback,
                 public ZEGO::EXPRESS::IZegoMediaPlayerEventHandler
{
    Q_OBJECT
public:
    explicit LMRZgRtc(QObject *parent = nullptr);
    ~LMRZgRtc() override;

    Q_INVOKABLE void init();
    Q_INVOKABLE void release();
    Q_INVOKABLE bool isInit() const { return m_initialized; }
    Q_INVOKABLE void loginRoom(QString roomID, QString userID, QString userName);
    Q_INVOKABLE void logoutRoom();
    Q_INVOKABLE void setCameraDrive(QString uuid);
    Q_INVOKABLE void setMicDrive(QString uuid);
    Q_INVOKABLE void setPlayerDrive(QString uuid);
    // `flag` is not used; QML may leave it out.
    Q_INVOKABLE void setupLocalVideo(QQuickItem *view, QString flag = QString());
    Q_INVOKABLE void setupRemoteVideo(QString id, QQuickItem *view, QString flag = QString());
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

    bool inRoom() const { return m_inRoom; }

    // An I420 frame given by plane byte lengths as the video items take it:
    // luma line size = luma length / height, chroma line size = 2 x chroma
    // length / height. Odd sides lose their last column or row (the 4:2:0
    // conversion needs even ones). False for a frame that cannot be drawn.
    static bool frameRecord(int width, int height, const unsigned char *const planes[3], const unsigned int lengths[3],
        VendorVideoFrame &out);
    // One SDK audio buffer as the converter takes it; one the converter
    // refuses when it is unusable.
    static AudioConvertInput audioInput(
        const unsigned char *data, unsigned int dataLength, int sampleRate, int channels);

    // OnRenderDataInterface, on the SDK's render thread.
    void onCapturedVideoFrameRawData(unsigned char **data, unsigned int *dataLength, int width, int height) override;
    void onRemoteVideoFrameRawData(
        unsigned char **data, unsigned int *dataLength, int width, int height, const std::string &streamID) override;
    // IAudioDataCallback, on the SDK's audio thread.
    void onCapturedAudioData(const unsigned char *data, unsigned int dataLength, int sampleRate, int channels) override;
    void onPlaybackAudioData(const unsigned char *data, unsigned int dataLength, int sampleRate, int channels) override;
    // IZegoMediaPlayerEventHandler, on the SDK's event thread.
    void onMediaPlayerStateUpdate(ZEGO::EXPRESS::IZegoMediaPlayer *mediaPlayer,
        ZEGO::EXPRESS::ZegoMediaPlayerState state, int errorCode) override;
    void onMediaPlayerPlayingProgress(
        ZEGO::EXPRESS::IZegoMediaPlayer *mediaPlayer, unsigned long long millisecond) override;

signals:
    // volumeChanged stays silent: the Zego SDK's sound levels are not used.
    void userVideoAvailable(QString uid, bool available);
    void rtcStats(int lastmileDelay);
    void remoteAudioStats(int lastmileDelay);

public slots:
    // Fed by ZegoEventHandler, queued onto the GUI thread.
    void onRoomUserUpdate(
        std::string roomID, ZEGO::EXPRESS::ZegoUpdateType updateType, std::vector<ZEGO::EXPRESS::ZegoUser> userList);
    void onRoomStreamUpdate(std::string roomID, ZEGO::EXPRESS::ZegoUpdateType updateType,
        std::vector<ZEGO::EXPRESS::ZegoStream> streamList);
    void onRemoteCameraStateUpdate(std::string streamID, ZEGO::EXPRESS::ZegoRemoteDeviceState state);
    void onPublisherQualityUpdate(std::string streamID, ZEGO::EXPRESS::ZegoPublishStreamQuality quality);
    void onPlayerQualityUpdate(std::string streamID, ZEGO::EXPRESS::ZegoPlayStreamQuality quality);

private:
    void playStream(const QString &id, bool start);

    bool m_initialized = false;
    std::atomic<bool> m_inRoom { false }; // written on the GUI thread, read on the audio thread
    std::atomic<bool> m_localAudioMuted { false };
    bool m_testEnvironment = false;
    ZEGO::EXPRESS::IZegoExpressEngine *m_engine = nullptr; // GUI thread; see also the process-wide holder
    ZEGO::EXPRESS::IZegoMediaPlayer *m_player = nullptr;
    VideoViews m_views; // key: stream id = remote user id
    QStringList m_mediaPos; // [duration s, position s] while courseware plays; under m_mediaPosMutex
    bool m_mediaPlaying = false; // between playMedia() and the end or stopMedia(); under m_mediaPosMutex
    mutable QMutex m_mediaPosMutex; // written on the SDK's event thread, read on the GUI thread
    std::atomic<qint64> m_mediaDurationMs { 0 }; // of the file playMedia() started
    std::string m_userId; // GUI thread
    std::string m_roomId;
    QSet<QString> m_playing; // remote streams played now; GUI thread
    std::shared_ptr<ZegoEventHandler> m_eventHandler;
    std::shared_ptr<CustomVideoRenderer> m_videoRenderer;
    std::shared_ptr<MyAudioDataHandler> m_audioHandler;
};

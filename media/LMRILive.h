#pragma once

#include "media/MediaEngine.h"
#include "media/video/VideoViews.h"

#include <iLive.h>

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QQuickItem>
#include <QStringList>

#include <atomic>
#include <functional>

class ILiveEvent;

// The iLive engine ("iliveEngine"). Unlike the other engines it signs in with
// a user name and password first, then creates the class's numbered room or,
// when that fails, joins it. Members' cameras and microphones come as
// mediaStatus, a member gone as offline.
class LMRILive : public MediaEngine
{
    Q_OBJECT
    // What the page's "VoiceQcloudState" reads.
    Q_PROPERTY(bool m_isLogin READ isLoggedIn NOTIFY stateChanged)
    Q_PROPERTY(bool m_isEnterRoom READ inRoom NOTIFY stateChanged)
    Q_PROPERTY(bool m_isEnableCamera READ cameraOpen NOTIFY stateChanged)
    Q_PROPERTY(bool m_isEnableMic READ micOpen NOTIFY stateChanged)
    Q_PROPERTY(bool m_isEnablePlayer READ playerOpen NOTIFY stateChanged)
public:
    enum MediaType { MediaType_Camera = 0, MediaType_Audio = 1 };
    Q_ENUM(MediaType)

    // Whether a camera can capture width x height at fps; the device
    // manager's answer unless a test gives its own.
    using CameraCheck = std::function<bool(const QString &uuid, int width, int height, int fps)>;

    explicit LMRILive(QObject *parent = nullptr, CameraCheck cameraCheck = CameraCheck());
    ~LMRILive() override;

    Q_INVOKABLE void init();
    Q_INVOKABLE void release();
    Q_INVOKABLE void login(QString user, QString pass);
    Q_INVOKABLE void logout();
    Q_INVOKABLE bool isInit() const { return m_initialized; }
    Q_INVOKABLE void setSkinSmooth(bool grad);
    Q_INVOKABLE bool createRoomAndJoin();
    Q_INVOKABLE bool joinRoom();
    Q_INVOKABLE void setLocalVideo(QQuickItem *view);
    Q_INVOKABLE void setRemoteVideo(QString id, QQuickItem *view);
    Q_INVOKABLE bool setCamera(QString uuid);
    Q_INVOKABLE bool setMic(QString uuid);
    Q_INVOKABLE bool setSpeaker(QString uuid);
    Q_INVOKABLE void closeCamera();
    Q_INVOKABLE void closeMic();
    Q_INVOKABLE void closePlayer();
    Q_INVOKABLE void setAssistantMode() { }
    Q_INVOKABLE bool quitRoom();
    Q_INVOKABLE int playMedia(QString path);
    Q_INVOKABLE bool stopMedia();
    Q_INVOKABLE bool pauseMedia();
    Q_INVOKABLE bool resumeMedia();
    Q_INVOKABLE bool isMeiaFile(QString path);
    Q_INVOKABLE bool seekMedia(int pos);
    Q_INVOKABLE QStringList getCurrentPos();
    Q_INVOKABLE bool setMediaVolume(int value);
    Q_INVOKABLE long getILiveQualityData();
    Q_INVOKABLE void test() { }

    bool isLoggedIn() const { return m_loggedIn; }
    bool inRoom() const { return m_inRoom; }
    bool cameraOpen() const { return m_cameraOpen; }
    bool micOpen() const { return !m_micClosed && m_micOpened; }
    bool playerOpen() const { return m_playerOpen; }

    // The role the SDK is given before login; the room options name its "role".
    static const char *roleConfiguration();
    static constexpr const char *kRoleName = "user";
    static constexpr int kRoomTimeoutMs = 2000;
    // Loudest sample of a buffer, 0..100: 8-bit samples are unsigned around
    // 128, 16-bit ones signed. 0 for anything else.
    static int speakingLevel(const uint8_t *data, uint32_t size, uint32_t bits);
    // One 16-bit SDK buffer as the converter takes it; false when it is unusable.
    static bool audioInput(const ilive::iLiveAudioFrame &frame, AudioConvertInput &input);
    // One level per member for every this many ms of its audio.
    static constexpr int kLevelIntervalMs = 200;

signals:
    void mediaStatus(QString id, LMRILive::MediaType type, bool status);
    void offline(QString id);
    void mediaPos(int pos);
    // The outcome of login(), and a room neither created nor joined, for the
    // page's requests waiting on them.
    void loginFinished(bool ok, int code, QString message);
    void joinFailed(int code, QString message);
    void stateChanged();

private:
    friend class ILiveEvent;
    // SDK callbacks; `data` is the adapter. Each crosses to the GUI thread
    // by a queued call, except audio and video, which are handled in place.
    static void onLoginSuccess(void *data);
    static void onLoginError(int code, const char *message, void *data);
    static void onLogoutSuccess(void *data);
    static void onLogoutError(int code, const char *message, void *data);
    static void onCreateSuccess(void *data);
    static void onCreateError(int code, const char *message, void *data);
    static void onJoinSuccess(void *data);
    static void onJoinError(int code, const char *message, void *data);
    static void onQuitSuccess(void *data);
    static void onQuitError(int code, const char *message, void *data);
    static void onMemberEvent(ilive::E_EndpointEventId eventId, const ilive::Vector<ilive::String> &ids, void *data);
    static void onRoomDisconnect(int code, const char *message, void *data);
    static void onQuality(const ilive::iLiveRoomStatParam &param, void *data);
    static int onAudioData(ilive::iLiveAudioFrame *frame, ilive::E_AudioDataSourceType type, void *data);
    static void onLocalVideo(const ilive::LiveVideoFrame *frame, void *data);
    static void onRemoteVideo(const ilive::LiveVideoFrame *frame, void *data);
    static void onFileProgress(int64_t positionMs, int64_t durationMs, void *data);

    void gui(std::function<void()> call);
    void doLogin(QByteArray user, QByteArray pass);
    void enteredRoom(bool created);
    void left(bool ok);
    ilive::iLiveRoomOption roomOption();
    void registerAudio();
    void handleAudio(const ilive::iLiveAudioFrame &frame, ilive::E_AudioDataSourceType type);
    void reportLevel(const QString &id, int level, int samples, int rate);
    void openCamera(const QByteArray &id);

    // Flags: GUI thread; those read on the SDK's audio thread are atomic.
    bool m_initialized = false;
    bool m_loggedIn = false;
    bool m_loginPending = false; // between login() and the SDK's answer
    std::atomic<bool> m_inRoom { false };
    bool m_roomJoinPending = false;
    std::atomic<bool> m_micClosed { false };
    bool m_micOpened = false, m_cameraOpen = false, m_playerOpen = false;
    std::atomic<long> m_quality { 0 }; // written on the SDK's event thread
    ilive::iLive *m_sdk = nullptr;
    std::unique_ptr<ILiveEvent> m_event;
    VideoViews m_views; // remote tiles by member identifier
    // Per source: the loudest level since the last report and the samples it
    // covers; under m_levelMutex.
    struct LevelState {
        int peak = 0;
        int samples = 0;
    };
    QHash<QString, LevelState> m_levels;
    QMutex m_levelMutex;
    CameraCheck m_cameraCheck;
};

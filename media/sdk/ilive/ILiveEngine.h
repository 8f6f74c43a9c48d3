#pragma once
// The stand-in's engine, shared by its source files; not part of the SDK.
#include "ILiveStandinControl.h"
#include "ILiveWorker.h"
#include "iLive.h"

#include "../simroom/SimRoom.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace ilive
{
namespace sim
{

constexpr double kPi = 3.14159265358979323846;
constexpr int kLoginDelayMs = 50;
// Native formats: the microphone at 32 kHz mono, what the speaker plays at
// 48 kHz stereo (both 16-bit, 20 ms per call), each member's decoded stream
// at 8 kHz mono in unsigned 8-bit samples.
inline const simroom::AudioFormat kCapture { 32000, 1, 640 };
inline const simroom::AudioFormat kPlayback { 48000, 2, 960 };
constexpr int kMemberRate = 8000;

// What tests and the demo may set or look at; under its own mutex.
struct Looks {
    std::mutex mutex;
    int createError = 0, quitError = 0, loginError = 0;
    std::vector<std::pair<std::string, std::string>> cameras { { "sim-camera-0", "Simulated camera" },
        { "vcam-yy", "YY开播" }, { "vcam-6rooms", "6RoomsCamV10" } };
    ilive::E_ColorFormat localFormat = ilive::COLOR_FORMAT_I420;
    std::vector<std::string> roomCalls;
    std::string roleConfig, user, camera, mic, player;
    int appId = 0;
    ilive::iLiveRoomOption option;
    uint32_t volume = 100;
    int smooth = 0, whiteness = 0;
};

Looks &looks();

// The "role" of a JSON object's top level, or empty.
std::string roleOf(const std::string &json);

class Engine : public iLive, public simroom::Listener, public simroom::PlayerListener
{
public:
    Engine() { simroom::Room::instance(); } // made first, so it outlives us
    ~Engine() override { release(); }

    int setLogPath(const char *path) override
    {
        std::error_code error;
        return path && *path && std::filesystem::is_directory(path, error) ? ILIVE_OK : ILIVE_ERR_INVALID_ARGUMENT;
    }
    int init(int appId, int accountType) override
    {
        if (appId <= 0 || accountType <= 0)
            return ILIVE_ERR_INVALID_ARGUMENT;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_initialized)
                return ILIVE_OK;
            m_initialized = true;
            // The microphone and speaker are on with a room until closed;
            // the camera waits to be opened.
            m_micOpen = m_playerOpen = true;
        }
        m_worker.start();
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().appId = appId;
        return ILIVE_OK;
    }
    void release() override
    {
        leaveRoom();
        m_worker.stop(); // drops what was still to be answered
        std::lock_guard<std::mutex> lock(m_mutex);
        m_initialized = false;
        m_listener = nullptr;
        m_option = iLiveRoomOption();
        std::fill(std::begin(m_audio), std::end(m_audio), AudioTap());
        m_localVideo = m_remoteVideo = VideoTap();
        m_progress = nullptr;
        m_cameraOpen = m_micOpen = m_playerOpen = false;
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().user.clear();
        looks().camera.clear();
        looks().mic.clear();
        looks().player.clear();
    }
    void setEventListener(iLiveEventListener *listener) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_listener = listener;
    }

    int setRoleConfig(const char *json) override
    {
        if (!json || roleOf(json).empty())
            return ILIVE_ERR_INVALID_ARGUMENT;
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().roleConfig = json;
        return ILIVE_OK;
    }
    void login(
        const char *userId, const char *password, SuccessCallback success, ErrorCallback error, void *data) override
    {
        int refusal = 0;
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            refusal = looks().loginError;
        }
        if (!initialized())
            return fail(error, data, ILIVE_ERR_NOT_INIT, "not initialised");
        if (refusal)
            return fail(error, data, refusal, "login refused", kLoginDelayMs);
        if (!userId || !*userId || !password || !*password)
            return fail(error, data, ILIVE_ERR_INVALID_ARGUMENT, "user or password empty");
        const std::string user = userId;
        m_worker.post(kLoginDelayMs, [user, success, data] {
            {
                std::lock_guard<std::mutex> look(looks().mutex);
                looks().user = user;
            }
            if (success)
                success(data);
        });
    }
    void logout(SuccessCallback success, ErrorCallback error, void *data) override
    {
        if (loggedInUser().empty())
            return fail(error, data, ILIVE_ERR_NOT_LOGIN, "not logged in");
        leaveRoom();
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            looks().user.clear();
        }
        m_worker.post(0, [success, data] {
            if (success)
                success(data);
        });
    }

    void createRoom(const iLiveRoomOption &option, SuccessCallback success, ErrorCallback error, void *data) override
    {
        enter(true, option, success, error, data);
    }
    void joinRoom(const iLiveRoomOption &option, SuccessCallback success, ErrorCallback error, void *data) override
    {
        enter(false, option, success, error, data);
    }
    void quitRoom(SuccessCallback success, ErrorCallback error, void *data) override
    {
        int refusal = 0;
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            looks().roomCalls.push_back("quit");
            refusal = looks().quitError;
        }
        if (!leaveRoom())
            return fail(error, data, ILIVE_ERR_NOT_IN_ROOM, "not in a room");
        // A refused quit still ends the local media: the server did not
        // confirm it, which is all the error says.
        if (refusal)
            return fail(error, data, refusal, "quit room failed");
        m_worker.post(0, [success, data] {
            if (success)
                success(data);
        });
    }

    int setAudioDataCallback(E_AudioDataSourceType type, AudioDataCallback callback, void *data) override
    {
        if (type < 0 || type >= kAudioTypes)
            return ILIVE_ERR_INVALID_ARGUMENT;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_audio[type] = { callback, data };
        return ILIVE_OK;
    }
    void setLocalVideoCallBack(VideoFrameCallback callback, void *data) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_localVideo = { callback, data };
    }
    void setRemoteVideoCallBack(VideoFrameCallback callback, void *data) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_remoteVideo = { callback, data };
    }

    int getCameraList(Vector<Pair<String, String>> &cameras) override
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        cameras.clear();
        for (const auto &camera : looks().cameras)
            cameras.push_back({ camera.first.c_str(), camera.second.c_str() });
        return ILIVE_OK;
    }
    int getMicList(Vector<Pair<String, String>> &mics) override
    {
        mics.clear();
        mics.push_back({ "sim-mic", "Simulated microphone" });
        return ILIVE_OK;
    }
    int getPlayerList(Vector<Pair<String, String>> &players) override
    {
        players.clear();
        players.push_back({ "sim-speaker", "Simulated speaker" });
        return ILIVE_OK;
    }
    // The machine's cameras are more than the SDK's fixed names: any id is a
    // camera, an empty one the first listed (the default device).
    int openCamera(const char *id) override
    {
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            const auto &cameras = looks().cameras;
            if (!id || (!*id && cameras.empty()))
                return ILIVE_ERR_DEVICE;
            looks().camera = *id ? std::string(id) : cameras.front().first;
        }
        return setDevice(m_cameraOpen, true);
    }
    int closeCamera() override { return closeDevice(m_cameraOpen, looks().camera); }
    int openMic(const char *id) override { return openDevice(m_micOpen, looks().mic, id); }
    int closeMic() override { return closeDevice(m_micOpen, looks().mic); }
    int openPlayer(const char *id) override { return openDevice(m_playerOpen, looks().player, id); }
    int closePlayer() override { return closeDevice(m_playerOpen, looks().player); }
    int setPlayerVolume(uint32_t volume) override
    {
        if (volume > 100)
            return ILIVE_ERR_INVALID_ARGUMENT;
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().volume = volume;
        return ILIVE_OK;
    }
    int setSkinSmoothGrade(int grade) override
    {
        if (grade < 0 || grade > 9)
            return ILIVE_ERR_INVALID_ARGUMENT;
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().smooth = grade;
        return ILIVE_OK;
    }
    int setSkinWhitenessGrade() override
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        ++looks().whiteness;
        return ILIVE_OK;
    }

    bool isValidMediaFile(const char *path) override
    {
        if (!path)
            return false;
        const std::string p = path;
        const size_t dot = p.rfind('.');
        std::string ext = dot == std::string::npos ? std::string() : p.substr(dot + 1);
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        std::error_code error;
        return (ext == "mp3" || ext == "wav" || ext == "aac" || ext == "m4a")
            && std::filesystem::is_regular_file(p, error);
    }
    int openPlayMediaFile(const char *path) override
    {
        if (!path || !*path)
            return ILIVE_ERR_INVALID_ARGUMENT;
        const int rc = simroom::Room::instance().playerOpen(path, this);
        if (rc != 0)
            return rc;
        simroom::Room::instance().playerPause(); // playing starts with playMediaFile()
        return ILIVE_OK;
    }
    int playMediaFile() override
    {
        return playerCall([] { simroom::Room::instance().playerResume(); });
    }
    int pauseMediaFile() override
    {
        return playerCall([] { simroom::Room::instance().playerPause(); });
    }
    int resumeMediaFile() override
    {
        return playerCall([] { simroom::Room::instance().playerResume(); });
    }
    int stopMediaFile() override
    {
        simroom::Room::instance().playerStop();
        return ILIVE_OK;
    }
    int setMediaFilePos(int64_t positionMs) override
    {
        if (positionMs < 0)
            return ILIVE_ERR_INVALID_ARGUMENT;
        return playerCall(
            [positionMs] { simroom::Room::instance().playerSeek(int(std::min<int64_t>(positionMs, 0x7fffffff))); });
    }
    int getMediaFilePos(int64_t &positionMs, int64_t &durationMs) override
    {
        durationMs = simroom::Room::instance().playerDurationMs();
        positionMs = durationMs > 0 ? simroom::Room::instance().playerPositionMs() : 0;
        return durationMs > 0 ? ILIVE_OK : ILIVE_ERR_FAILED;
    }
    void setFilePlayProgressCallback(FilePlayProgressCallback callback, void *data) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress = callback;
        m_progressData = data;
    }

    // simroom::PlayerListener, on the room's event thread.
    void onPlayerProgress(int positionMs, int durationMs) override
    {
        FilePlayProgressCallback callback;
        void *data;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            callback = m_progress;
            data = m_progressData;
        }
        if (callback)
            callback(positionMs, durationMs, data);
    }
    void onPlayerComplete(int) override { }

    // simroom::Listener, on the room's threads.
    void onJoined(const std::string &, unsigned, int) override;
    void onConnectionFailed() override;
    void onRemoteUser(unsigned uid, bool present) override;
    void onVolume(unsigned, int) override { } // levels come from the audio itself
    void onStats(int lastmileDelayMs, int transportDelayMs) override;
    void onCaptureAudio(const int16_t *samples, const simroom::AudioFormat &format) override;
    void onPlaybackAudio(const int16_t *samples, const simroom::AudioFormat &format) override;
    void onLocalVideo(const simroom::I420View &frame) override;
    void onRemoteVideo(unsigned uid, const simroom::I420View &frame) override;
    void onRemoteVideoState(unsigned uid, bool on) override;
    void onRemoteAudioState(unsigned uid, bool on) override;

private:
    static constexpr int kAudioTypes = 6;
    struct AudioTap {
        AudioDataCallback callback = nullptr;
        void *data = nullptr;
    };
    struct VideoTap {
        VideoFrameCallback callback = nullptr;
        void *data = nullptr;
    };
    struct Member {
        bool camera = false, audio = false;
    };
    enum class RoomState { Out, Entering, In };

    bool initialized()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_initialized;
    }
    static std::string loggedInUser()
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        return looks().user;
    }
    void fail(ErrorCallback error, void *data, int code, const char *message, int delayMs = 0)
    {
        const std::string text = message;
        m_worker.post(delayMs, [error, data, code, text] {
            if (error)
                error(code, text.c_str(), data);
        });
    }
    void enter(bool create, const iLiveRoomOption &option, SuccessCallback success, ErrorCallback error, void *data);
    bool leaveRoom();
    void memberEvent(E_EndpointEventId id, unsigned uid);
    int setDevice(bool &open, bool value);
    // Any microphone or speaker the client names is one of the machine's.
    int openDevice(bool &open, std::string &inUse, const char *id)
    {
        if (!id || !*id)
            return ILIVE_ERR_DEVICE;
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            inUse = id;
        }
        return setDevice(open, true);
    }
    int closeDevice(bool &open, std::string &inUse)
    {
        {
            std::lock_guard<std::mutex> look(looks().mutex);
            inUse.clear();
        }
        return setDevice(open, false);
    }
    void applyDevices();
    template <class F>
    int playerCall(F call)
    {
        if (simroom::Room::instance().playerDurationMs() <= 0)
            return ILIVE_ERR_FAILED;
        call();
        return ILIVE_OK;
    }
    void deliverVideo(const VideoTap &tap, const std::string &id, const simroom::I420View &frame, E_ColorFormat format,
        std::vector<uint8_t> &buffer);

    std::mutex m_mutex; // guards every field below but the workers' own buffers
    bool m_initialized = false;
    iLiveEventListener *m_listener = nullptr;
    RoomState m_room = RoomState::Out;
    bool m_joined = false; // this session holds the simulated room
    iLiveRoomOption m_option;
    SuccessCallback m_enterSuccess = nullptr;
    ErrorCallback m_enterError = nullptr;
    void *m_enterData = nullptr;
    AudioTap m_audio[kAudioTypes];
    VideoTap m_localVideo, m_remoteVideo;
    FilePlayProgressCallback m_progress = nullptr;
    void *m_progressData = nullptr;
    bool m_cameraOpen = false, m_micOpen = false, m_playerOpen = false;
    std::map<unsigned, Member> m_members;
    std::vector<uint8_t> m_localBuffer, m_remoteBuffer; // the render thread's only
    std::vector<uint8_t> m_memberAudio; // the audio thread's only
    std::map<unsigned, double> m_phases; // the audio thread's only: each member's tone
    Worker m_worker;
};

} // namespace sim
} // namespace ilive

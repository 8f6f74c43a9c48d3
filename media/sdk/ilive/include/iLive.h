#pragma once
// The iLive live-video SDK as the client uses it: the exported GetILive()
// object, the room options and callbacks, the audio and video frame records,
// and the SDK's own memory functions. Text and lists that cross the library
// boundary are held in memory the SDK allocates (iliveMalloc, iliveFree), so
// that a program and the SDK built against different runtimes can share them.
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

extern "C" {
void *iliveMalloc(size_t size);
void iliveFree(void *pointer);
void iliveMemCpy(void *destination, const void *source, size_t size);
size_t iliveStrLen(const char *text);
}

namespace ilive
{

// A UTF-8 text in the SDK's memory.
class String
{
public:
    String() = default;
    String(const char *text) { assign(text, text ? iliveStrLen(text) : 0); }
    String(const char *text, size_t length) { assign(text, length); }
    String(const String &other) { assign(other.m_data, other.m_length); }
    String(String &&other) noexcept
        : m_data(other.m_data)
        , m_length(other.m_length)
    {
        other.m_data = nullptr;
        other.m_length = 0;
    }
    String &operator=(const String &other)
    {
        if (this != &other) {
            String copy(other);
            swap(copy);
        }
        return *this;
    }
    String &operator=(String &&other) noexcept
    {
        swap(other);
        return *this;
    }
    ~String() { iliveFree(m_data); }

    const char *c_str() const { return m_data ? m_data : ""; }
    size_t size() const { return m_length; }
    bool empty() const { return m_length == 0; }
    void swap(String &other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_length, other.m_length);
    }

private:
    void assign(const char *text, size_t length)
    {
        if (!text || length == 0)
            return;
        m_data = static_cast<char *>(iliveMalloc(length + 1));
        if (!m_data)
            return;
        iliveMemCpy(m_data, text, length);
        m_data[length] = '\0';
        m_length = length;
    }

    char *m_data = nullptr;
    size_t m_length = 0;
};

template <class A, class B>
struct Pair {
    A first;
    B second;
};

// A growable list in the SDK's memory.
template <class T>
class Vector
{
public:
    Vector() = default;
    Vector(const Vector &other)
    {
        reserve(other.m_size);
        for (size_t i = 0; i < other.m_size; ++i)
            push_back(other.m_items[i]);
    }
    Vector &operator=(const Vector &other)
    {
        if (this != &other) {
            clear();
            reserve(other.m_size);
            for (size_t i = 0; i < other.m_size; ++i)
                push_back(other.m_items[i]);
        }
        return *this;
    }
    ~Vector()
    {
        clear();
        iliveFree(m_items);
    }

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const T &operator[](size_t i) const { return m_items[i]; }
    T &operator[](size_t i) { return m_items[i]; }
    void push_back(const T &item)
    {
        if (m_size == m_capacity)
            reserve(m_capacity ? m_capacity * 2 : 4);
        if (m_size < m_capacity)
            new (m_items + m_size++) T(item);
    }
    void clear()
    {
        for (size_t i = 0; i < m_size; ++i)
            m_items[i].~T();
        m_size = 0;
    }

private:
    void reserve(size_t capacity)
    {
        if (capacity <= m_capacity)
            return;
        T *items = static_cast<T *>(iliveMalloc(capacity * sizeof(T)));
        if (!items)
            return;
        for (size_t i = 0; i < m_size; ++i) {
            new (items + i) T(std::move(m_items[i]));
            m_items[i].~T();
        }
        iliveFree(m_items);
        m_items = items;
        m_capacity = capacity;
    }

    T *m_items = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// What a member did in the room; the ids of the members concerned come with it.
enum E_EndpointEventId {
    EVENT_ID_NONE = 0,
    EVENT_ID_ENDPOINT_ENTER = 1,
    EVENT_ID_ENDPOINT_EXIT = 2,
    EVENT_ID_ENDPOINT_HAS_CAMERA_VIDEO = 3,
    EVENT_ID_ENDPOINT_NO_CAMERA_VIDEO = 4,
    EVENT_ID_ENDPOINT_HAS_AUDIO = 5,
    EVENT_ID_ENDPOINT_NO_AUDIO = 6,
};

// Where an audio buffer comes from.
enum E_AudioDataSourceType {
    AUDIO_DATA_SOURCE_MIC = 0, // the local microphone, after the SDK's processing
    AUDIO_DATA_SOURCE_MIXTOSEND = 1,
    AUDIO_DATA_SOURCE_SEND = 2,
    AUDIO_DATA_SOURCE_MIXTOPLAY = 3,
    AUDIO_DATA_SOURCE_PLAY = 4, // what the local speaker plays
    AUDIO_DATA_SOURCE_NETSTREAM = 5, // one member's decoded stream, by member id
};

enum E_ColorFormat {
    COLOR_FORMAT_NONE = -1,
    COLOR_FORMAT_RGB24 = 0,
    COLOR_FORMAT_I420 = 1,
};

struct iLiveAudioFrame {
    String identifier; // the member the audio belongs to; our own id for the microphone
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t bits = 0; // 8: unsigned bytes; 16: signed little-endian samples
    uint32_t dataSize = 0; // bytes
    uint8_t *data = nullptr;
};

struct LiveVideoFrame {
    String identifier; // the member whose picture it is; empty for the local preview
    uint32_t width = 0;
    uint32_t height = 0;
    E_ColorFormat colorFormat = COLOR_FORMAT_NONE;
    uint32_t dataSize = 0;
    uint8_t *data = nullptr; // I420: Y, U and V planes back to back, no padding
};

// Room statistics: `quality` is the round trip to the server in ms.
struct iLiveRoomStatParam {
    long quality = 0;
    uint32_t lossSend = 0; // per cent x 100
    uint32_t lossRecv = 0;
};

using SuccessCallback = void (*)(void *data);
using ErrorCallback = void (*)(int code, const char *message, void *data);
using MemberEventCallback = void (*)(E_EndpointEventId eventId, const Vector<String> &ids, void *data);
using RoomDisconnectCallback = void (*)(int code, const char *message, void *data);
using QualityCallback = void (*)(const iLiveRoomStatParam &param, void *data);
using AudioDataCallback = int (*)(iLiveAudioFrame *frame, E_AudioDataSourceType type, void *data);
using VideoFrameCallback = void (*)(const LiveVideoFrame *frame, void *data);
using FilePlayProgressCallback = void (*)(int64_t positionMs, int64_t durationMs, void *data);

struct iLiveRoomOption {
    uint32_t roomId = 0;
    String roleName; // must name the role of the configuration handed over before login
    uint32_t timeoutMs = 10000; // for entering
    MemberEventCallback memberStatusListener = nullptr;
    RoomDisconnectCallback roomDisconnectListener = nullptr;
    QualityCallback qualityParamCallback = nullptr;
    void *data = nullptr; // handed to the three callbacks
};

// Events outside a room; called on the SDK's threads.
class iLiveEventListener
{
public:
    virtual ~iLiveEventListener() = default;
    // A member's connection is gone for good (not a camera or microphone change).
    virtual void onMemberOffline(const char *identifier) = 0;
};

// Error codes of the SDK's own (the service adds its own, all positive).
enum {
    ILIVE_OK = 0,
    ILIVE_ERR_FAILED = 1,
    ILIVE_ERR_INVALID_ARGUMENT = 1004,
    ILIVE_ERR_NOT_INIT = 8001,
    ILIVE_ERR_NOT_LOGIN = 8002,
    ILIVE_ERR_NOT_IN_ROOM = 8003,
    ILIVE_ERR_TIMEOUT = 8004,
    ILIVE_ERR_ROLE = 8005, // the room's role is not the one specified
    ILIVE_ERR_ROOM_EXISTS = 10021,
    ILIVE_ERR_DEVICE = 1201,
};

// The SDK. Calls that take callbacks return at once; the callbacks come later
// on the SDK's threads (success and error of login, rooms and logout on its
// callback thread; room events on its event thread; audio on its audio
// thread; video on its render thread). Once release() has returned, none
// comes any more.
class iLive
{
public:
    virtual ~iLive() = default;

    virtual int setLogPath(const char *path) = 0;
    virtual int init(int appId, int accountType) = 0;
    virtual void release() = 0;
    virtual void setEventListener(iLiveEventListener *listener) = 0;

    // The role configuration, a JSON object used verbatim; its "role" names it.
    virtual int setRoleConfig(const char *json) = 0;
    virtual void login(
        const char *userId, const char *password, SuccessCallback success, ErrorCallback error, void *data)
        = 0;
    virtual void logout(SuccessCallback success, ErrorCallback error, void *data) = 0;

    virtual void createRoom(const iLiveRoomOption &option, SuccessCallback success, ErrorCallback error, void *data)
        = 0;
    virtual void joinRoom(const iLiveRoomOption &option, SuccessCallback success, ErrorCallback error, void *data) = 0;
    virtual void quitRoom(SuccessCallback success, ErrorCallback error, void *data) = 0;

    virtual int setAudioDataCallback(E_AudioDataSourceType type, AudioDataCallback callback, void *data) = 0;
    virtual void setLocalVideoCallBack(VideoFrameCallback callback, void *data) = 0;
    virtual void setRemoteVideoCallBack(VideoFrameCallback callback, void *data) = 0;

    // Device lists: id, then name.
    virtual int getCameraList(Vector<Pair<String, String>> &cameras) = 0;
    virtual int getMicList(Vector<Pair<String, String>> &mics) = 0;
    virtual int getPlayerList(Vector<Pair<String, String>> &players) = 0;
    virtual int openCamera(const char *id) = 0;
    virtual int closeCamera() = 0;
    virtual int openMic(const char *id) = 0;
    virtual int closeMic() = 0;
    virtual int openPlayer(const char *id) = 0;
    virtual int closePlayer() = 0;
    virtual int setPlayerVolume(uint32_t volume) = 0;

    virtual int setSkinSmoothGrade(int grade) = 0;
    virtual int setSkinWhitenessGrade() = 0; // the current whiteness, at the smoothing's level

    // Courseware audio, mixed into what the room hears.
    virtual bool isValidMediaFile(const char *path) = 0;
    virtual int openPlayMediaFile(const char *path) = 0;
    virtual int playMediaFile() = 0;
    virtual int pauseMediaFile() = 0;
    virtual int resumeMediaFile() = 0;
    virtual int stopMediaFile() = 0;
    virtual int setMediaFilePos(int64_t positionMs) = 0;
    virtual int getMediaFilePos(int64_t &positionMs, int64_t &durationMs) = 0;
    virtual void setFilePlayProgressCallback(FilePlayProgressCallback callback, void *data) = 0;
};

} // namespace ilive

// The one SDK object of the process.
extern "C" ilive::iLive *GetILive();

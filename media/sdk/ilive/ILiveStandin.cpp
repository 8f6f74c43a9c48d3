// The iLive stand-in: GetILive() on top of the simulated room. Logins, room
// entry and exit answer on a callback thread of the stand-in's own; the room's
// event, audio and render threads bring member events, audio and pictures.
#include "ILiveEngine.h"

#include <cmath>
#include <cstdlib>

namespace ilive
{
namespace sim
{

void Engine::enter(bool create, const iLiveRoomOption &option, SuccessCallback success, ErrorCallback error, void *data)
{
    int refusal = 0;
    std::string roleJson, user;
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        looks().roomCalls.push_back((create ? "create:" : "join:") + std::to_string(option.roomId));
        looks().option = option;
        looks().option.memberStatusListener = nullptr;
        looks().option.roomDisconnectListener = nullptr;
        looks().option.qualityParamCallback = nullptr;
        looks().option.data = nullptr;
        refusal = create ? looks().createError : 0;
        roleJson = looks().roleConfig;
        user = looks().user;
    }
    if (!initialized())
        return fail(error, data, ILIVE_ERR_NOT_INIT, "not initialised");
    if (user.empty())
        return fail(error, data, ILIVE_ERR_NOT_LOGIN, "not logged in");
    if (option.roomId == 0)
        return fail(error, data, ILIVE_ERR_INVALID_ARGUMENT, "no room number");
    if (refusal)
        return fail(error, data, refusal, "room already exists");
    if (roleOf(roleJson).empty() || roleOf(roleJson) != option.roleName.c_str())
        return fail(error, data, ILIVE_ERR_ROLE, "role not in the role configuration");
    // A room that takes longer to answer than the caller waits is a timeout.
    const int joinDelay = simroom::Room::instance().config().joinDelayMs;
    if (joinDelay > int(option.timeoutMs))
        return fail(error, data, ILIVE_ERR_TIMEOUT, "enter room timeout", int(option.timeoutMs));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_room != RoomState::Out)
            return fail(error, data, ILIVE_ERR_FAILED, "already in a room");
        m_room = RoomState::Entering;
        m_option = option;
        m_enterSuccess = success;
        m_enterError = error;
        m_enterData = data;
        m_members.clear();
    }
    const unsigned uid = unsigned(std::strtoul(user.c_str(), nullptr, 10));
    const int rc = simroom::Room::instance().join(this, std::to_string(option.roomId), uid, kCapture, kPlayback);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (rc != 0) {
            m_room = RoomState::Out;
            return fail(error, data, rc, "enter room failed");
        }
        m_joined = true;
    }
    applyDevices();
}

// Whether a room was left.
bool Engine::leaveRoom()
{
    bool joined = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_room == RoomState::Out)
            return false;
        joined = m_joined;
        m_room = RoomState::Out;
        m_joined = false;
        m_members.clear();
    }
    // Another vendor's engine may be in the room now: leave only our own session.
    if (joined)
        simroom::Room::instance().leave();
    return true;
}

int Engine::setDevice(bool &open, bool value)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        open = value;
    }
    applyDevices();
    return ILIVE_OK;
}

// The room starts a session with everything on; ours are opened one by one.
// The room is called outside m_mutex, which its threads take in our callbacks.
void Engine::applyDevices()
{
    bool joined, camera, mic, player;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        joined = m_joined;
        camera = m_cameraOpen;
        mic = m_micOpen;
        player = m_playerOpen;
    }
    if (!joined)
        return;
    simroom::Room::instance().setLocalVideo(camera);
    simroom::Room::instance().setLocalAudio(mic);
    simroom::Room::instance().setRemoteAudioMuted(!player);
}

void Engine::onJoined(const std::string &, unsigned, int)
{
    SuccessCallback success = nullptr;
    void *data = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_room != RoomState::Entering)
            return;
        m_room = RoomState::In;
        success = m_enterSuccess;
        data = m_enterData;
    }
    m_worker.post(0, [success, data] {
        if (success)
            success(data);
    });
}

void Engine::onConnectionFailed()
{
    RoomDisconnectCallback callback;
    void *data;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        callback = m_option.roomDisconnectListener;
        data = m_option.data;
    }
    if (callback)
        callback(ILIVE_ERR_TIMEOUT, "connection to the room lost", data);
}

void Engine::memberEvent(E_EndpointEventId id, unsigned uid)
{
    MemberEventCallback callback;
    void *data;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        callback = m_option.memberStatusListener;
        data = m_option.data;
    }
    if (!callback)
        return;
    Vector<String> ids;
    ids.push_back(std::to_string(uid).c_str());
    callback(id, ids, data);
}

// A member that goes takes its camera and microphone along, then is offline.
void Engine::onRemoteUser(unsigned uid, bool present)
{
    if (present) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_members[uid] = Member();
        }
        memberEvent(EVENT_ID_ENDPOINT_ENTER, uid);
        return;
    }
    Member member;
    iLiveEventListener *listener;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        member = m_members[uid];
        m_members.erase(uid);
        listener = m_listener;
    }
    if (member.camera)
        memberEvent(EVENT_ID_ENDPOINT_NO_CAMERA_VIDEO, uid);
    if (member.audio)
        memberEvent(EVENT_ID_ENDPOINT_NO_AUDIO, uid);
    memberEvent(EVENT_ID_ENDPOINT_EXIT, uid);
    if (listener)
        listener->onMemberOffline(std::to_string(uid).c_str());
}

void Engine::onRemoteVideoState(unsigned uid, bool on)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_members[uid].camera = on;
    }
    memberEvent(on ? EVENT_ID_ENDPOINT_HAS_CAMERA_VIDEO : EVENT_ID_ENDPOINT_NO_CAMERA_VIDEO, uid);
}

void Engine::onRemoteAudioState(unsigned uid, bool on)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_members[uid].audio = on;
    }
    memberEvent(on ? EVENT_ID_ENDPOINT_HAS_AUDIO : EVENT_ID_ENDPOINT_NO_AUDIO, uid);
}

void Engine::onStats(int lastmileDelayMs, int)
{
    QualityCallback callback;
    void *data;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        callback = m_option.qualityParamCallback;
        data = m_option.data;
    }
    iLiveRoomStatParam param;
    param.quality = lastmileDelayMs;
    param.lossSend = 20;
    param.lossRecv = 35;
    if (callback)
        callback(param, data);
}

void Engine::onCaptureAudio(const int16_t *samples, const simroom::AudioFormat &format)
{
    AudioTap tap;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        tap = m_audio[AUDIO_DATA_SOURCE_MIC];
    }
    if (!tap.callback)
        return;
    iLiveAudioFrame frame;
    frame.identifier = loggedInUser().c_str();
    frame.sampleRate = uint32_t(format.rate);
    frame.channels = uint32_t(format.channels);
    frame.bits = 16;
    frame.dataSize = uint32_t(format.samplesPerCall * format.channels * 2);
    frame.data = reinterpret_cast<uint8_t *>(const_cast<int16_t *>(samples));
    tap.callback(&frame, AUDIO_DATA_SOURCE_MIC, tap.data);
}

// What the speaker plays, then each speaking member's own stream: its tone
// at the member's volume, as the network delivered it.
void Engine::onPlaybackAudio(const int16_t *samples, const simroom::AudioFormat &format)
{
    AudioTap play, member;
    std::vector<unsigned> speaking;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        play = m_audio[AUDIO_DATA_SOURCE_PLAY];
        member = m_audio[AUDIO_DATA_SOURCE_NETSTREAM];
        for (const auto &entry : m_members)
            if (entry.second.audio)
                speaking.push_back(entry.first);
    }
    if (play.callback) {
        iLiveAudioFrame frame;
        frame.sampleRate = uint32_t(format.rate);
        frame.channels = uint32_t(format.channels);
        frame.bits = 16;
        frame.dataSize = uint32_t(format.samplesPerCall * format.channels * 2);
        frame.data = reinterpret_cast<uint8_t *>(const_cast<int16_t *>(samples));
        play.callback(&frame, AUDIO_DATA_SOURCE_PLAY, play.data);
    }
    if (!member.callback || speaking.empty())
        return;
    const simroom::Config config = simroom::Room::instance().config();
    const int count = format.samplesPerCall * kMemberRate / std::max(1, format.rate);
    m_memberAudio.resize(size_t(std::max(0, count)));
    for (const unsigned uid : speaking) {
        int volume = 255;
        for (const simroom::Peer &peer : config.peers)
            if (peer.uid == uid)
                volume = peer.volume;
        // The room's tone (6000 of 32768) in unsigned 8-bit, at the member's volume.
        const double amplitude = 6000.0 / 256.0 * std::clamp(volume, 0, 255) / 255.0;
        double &phase = m_phases[uid];
        for (int i = 0; i < count; ++i) {
            m_memberAudio[size_t(i)] = uint8_t(128 + std::lround(amplitude * std::sin(phase)));
            phase = std::fmod(phase + 2 * kPi * config.speakerHz / kMemberRate, 2 * kPi);
        }
        iLiveAudioFrame frame;
        frame.identifier = std::to_string(uid).c_str();
        frame.sampleRate = kMemberRate;
        frame.channels = 1;
        frame.bits = 8;
        frame.dataSize = uint32_t(count);
        frame.data = m_memberAudio.data();
        member.callback(&frame, AUDIO_DATA_SOURCE_NETSTREAM, member.data);
    }
}

void Engine::deliverVideo(const VideoTap &tap, const std::string &id, const simroom::I420View &view,
    E_ColorFormat format, std::vector<uint8_t> &buffer)
{
    if (!tap.callback || view.width <= 0 || view.height <= 0)
        return;
    const int w = view.width, h = view.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    LiveVideoFrame frame;
    frame.identifier = id.c_str();
    frame.width = uint32_t(w);
    frame.height = uint32_t(h);
    frame.colorFormat = format;
    if (format == COLOR_FORMAT_I420) {
        buffer.resize(size_t(w * h + 2 * cw * ch));
        uint8_t *out = buffer.data();
        const int widths[3] = { w, cw, cw }, heights[3] = { h, ch, ch };
        for (int p = 0; p < 3; ++p)
            for (int r = 0; r < heights[p]; ++r, out += widths[p])
                std::memcpy(out, view.planes[p] + size_t(r) * size_t(view.strides[p]), size_t(widths[p]));
    } else {
        buffer.assign(size_t(w * h * 3), 0x80); // a grey RGB picture
    }
    frame.dataSize = uint32_t(buffer.size());
    frame.data = buffer.data();
    tap.callback(&frame, tap.data);
}

void Engine::onLocalVideo(const simroom::I420View &frame)
{
    VideoTap tap;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        tap = m_localVideo;
    }
    E_ColorFormat format;
    {
        std::lock_guard<std::mutex> look(looks().mutex);
        format = looks().localFormat;
    }
    deliverVideo(tap, std::string(), frame, format, m_localBuffer);
}

void Engine::onRemoteVideo(unsigned uid, const simroom::I420View &frame)
{
    VideoTap tap;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        tap = m_remoteVideo;
    }
    deliverVideo(tap, std::to_string(uid), frame, COLOR_FORMAT_I420, m_remoteBuffer);
}

} // namespace sim
} // namespace ilive

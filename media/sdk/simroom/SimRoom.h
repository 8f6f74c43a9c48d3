#pragma once
// Simulated class room behind the vendor SDK stand-ins: one local user and N
// remote peers, with the SDK's own threads (event, audio, render) calling back
// at the vendor's native audio format and cadence. Replaced, with the stand-in
// SDKs, by the real vendor libraries.
#include <cstdint>
#include <string>
#include <vector>

namespace simroom
{

struct Peer {
    unsigned uid = 0;
    std::string name;
    int volume = 180; // 0..255, reported every 300 ms while present
    int joinAfterMs = 300; // after the local join succeeded
    int leaveAfterMs = -1; // -1: stays
    bool sendsVideo = true; // camera on when the peer joins
    bool sendsAudio = true; // microphone on when the peer joins
};

// What a peer does in the middle of a class, on the development control's
// request. Delivered on the event thread, in the order asked.
enum class PeerAction { Join, Leave, CameraOn, CameraOff, MicOn, MicOff };

struct Config {
    int joinDelayMs = 300;
    int joinError = 0; // non-zero: the join call fails with it
    int failConnectionAfterMs = -1; // connection state "failed" after joining
    std::vector<Peer> peers { { 20002, "Demo Student" } };
    double driftPpm = 0; // capture clock against playback clock
    int jitterMs = 2; // per audio callback, uniformly 0..jitterMs late
    int localWidth = 240, localHeight = 180;
    int remoteWidth = 640, remoteHeight = 360;
    int fps = 15;
    double micHz = 440, speakerHz = 660; // generated signals
};

struct AudioFormat {
    int rate = 16000;
    int channels = 1;
    int samplesPerCall = 160;
};

struct I420View {
    int width = 0, height = 0;
    int strides[3] = { 0, 0, 0 };
    const uint8_t *planes[3] = { nullptr, nullptr, nullptr };
};

// Called on the room's threads: join, connection, peer, volume and statistics
// events on the event thread, both audio directions on the audio thread, and
// the pictures on the render thread. The threads do not wait for each other's
// callbacks. A callback may call the Room back, leave() included.
class Listener
{
public:
    virtual ~Listener() = default;
    virtual void onJoined(const std::string &channel, unsigned uid, int elapsedMs) = 0;
    virtual void onConnectionFailed() = 0;
    virtual void onRemoteUser(unsigned uid, bool present) = 0;
    virtual void onVolume(unsigned uid, int volume) = 0;
    virtual void onStats(int lastmileDelayMs, int transportDelayMs) = 0;
    virtual void onCaptureAudio(const int16_t *samples, const AudioFormat &format) = 0;
    virtual void onPlaybackAudio(const int16_t *samples, const AudioFormat &format) = 0;
    virtual void onLocalVideo(const I420View &frame) = 0;
    virtual void onRemoteVideo(unsigned uid, const I420View &frame) = 0;
    // A present peer's camera or microphone went on or off; also reported,
    // after onRemoteUser(uid, true), for a peer that joins with it on.
    virtual void onRemoteVideoState(unsigned uid, bool on) {}
    virtual void onRemoteAudioState(unsigned uid, bool on) {}
};

// Courseware audio: a file decoded for real and mixed into what the speaker
// plays, so it reaches the recording too. One per room; positions in ms.
class PlayerListener
{
public:
    virtual ~PlayerListener() = default;
    // On the event thread, about every 200 ms while playing.
    virtual void onPlayerProgress(int positionMs, int durationMs) = 0;
    // On the event thread: the end of the file (error 0) or a failure while decoding.
    virtual void onPlayerComplete(int error) = 0;
};

class Room
{
public:
    static Room &instance();

    void setConfig(const Config &config);
    Config config() const;

    // Returns the join error of the configuration (0 on success); success is
    // reported later through onJoined on the event thread.
    int join(Listener *listener, const std::string &channel, unsigned uid, const AudioFormat &capture,
        const AudioFormat &playback);
    // Once leave() has returned, no callback is in progress and none starts.
    // Called from inside a callback, that callback is still in progress, and
    // so may be one of another thread that leaves from inside its own callback
    // at the same time: the two cannot wait for each other.
    void leave();
    bool inRoom() const;

    void setLocalVideo(bool on);
    void setLocalAudio(bool on);
    void setRemoteAudioMuted(bool muted);

    // Queues a peer's action; false when nobody is in the room or the peer is
    // not configured.
    bool peerAction(unsigned uid, PeerAction action);

    // The courseware player. open() decodes the whole file's header and
    // returns 0, or a negative error with nothing playing; playback starts
    // at once and ends by itself at the file's end.
    int playerOpen(const std::string &path, PlayerListener *listener);
    void playerStop();
    void playerPause();
    void playerResume();
    void playerSeek(int positionMs);
    int playerDurationMs() const; // 0 when nothing is open
    int playerPositionMs() const;

    ~Room();

private:
    Room();
    struct State;
    State *d;
};

} // namespace simroom

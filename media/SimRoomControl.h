#pragma once

#include <QObject>
#include <QString>

// Development control of the simulated class room behind the SDK stand-ins
// ("cppSimRoom"): the demo page and tests set peers, delays and failures.
class SimRoomControl : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Applies the keys present in `json` (others keep their values):
    // joinDelayMs, joinError, failConnectionAfterMs, jitterMs, driftPpm, fps,
    // remoteWidth, remoteHeight, peers [{uid, name, volume, joinAfterMs,
    // leaveAfterMs, sendsVideo, sendsAudio}]. False, with nothing changed, for
    // bad JSON.
    Q_INVOKABLE bool configure(const QString &json);
    // A configured peer, during a class: "join", "leave", "camera_on",
    // "camera_off", "mic_on" or "mic_off". False for another action, a peer
    // that is not configured, or no class in the room.
    Q_INVOKABLE bool peerAction(int uid, const QString &action);
    // The current configuration in the same form.
    Q_INVOKABLE QString configuration() const;
};

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
    // leaveAfterMs, sendsVideo}]. False, with nothing changed, for bad JSON.
    Q_INVOKABLE bool configure(const QString &json);
    // The current configuration in the same form.
    Q_INVOKABLE QString configuration() const;
};

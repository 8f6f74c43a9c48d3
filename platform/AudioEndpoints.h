#pragma once
#include <QList>
#include <QString>

namespace lumira::platform
{

enum class AudioFlow { Capture, Render };

// One active endpoint of the system's audio service. The friendly name holds
// the name Qt Multimedia gives the same device, so the two lists can be
// matched; the id stays the same across restarts.
struct AudioEndpoint {
    QString friendlyName;
    QString id;
};

// The active endpoints of one flow; failures are written to the debug output
// and what was collected so far is returned.
QList<AudioEndpoint> activeAudioEndpoints(AudioFlow flow);

// Whether the default microphone and speaker are taken from the system's
// default device before Qt's list order. Linux: Qt lists the ALSA aliases
// ("default", "pulse") ahead of the sound server's devices. Windows: Qt's
// first capable device is taken as it is.
bool defaultAudioFromSystemDefault();

} // namespace lumira::platform

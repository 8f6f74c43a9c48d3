#pragma once
#include <QString>
#include <QVector>

namespace lumira::platform
{

// One playing stream of the system's sound service.
struct PlaybackStream {
    QString id; // the service's id of the stream
    qint64 pid = 0; // the process that plays it; 0 when unknown
    QString name; // the application's name, for logs
};

// The playing streams of programs that are not muted now and belong neither
// to the process `ownPid` nor to its browser subprocesses (and their
// children). Streams of the sound service itself (no process) are left out.
QVector<PlaybackStream> unmutedStreamsOfOthers(qint64 ownPid);

// Mutes or unmutes the streams that still play for the same process (an id
// the service gave to a new stream since is left alone); returns how many
// were set. -1 when the sound service cannot be reached.
int setStreamsMuted(const QVector<PlaybackStream> &streams, bool muted);

// Whether `pid` is `ownPid` or runs under it in one of its browser
// subprocesses (Qt WebEngine's, or the render program of the client).
bool isOwnSoundProcess(qint64 pid, qint64 ownPid);

} // namespace lumira::platform

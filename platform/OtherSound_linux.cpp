// PulseAudio: every sink input is a playing stream; its properties name the
// process that opened it.
#include "platform/OtherSound.h"

#include "platform/PulseCall_linux.h"

#include <QFile>
#include <QFileInfo>

#include <pulse/pulseaudio.h>

#include <memory>

namespace lumira::platform
{
namespace
{

struct StreamState {
    PlaybackStream stream;
    bool muted = false;
};

void onSinkInput(pa_context *, const pa_sink_input_info *info, int eol, void *data)
{
    if (eol != 0 || !info)
        return;
    StreamState state;
    state.stream.id = QString::number(info->index);
    const char *pid = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    state.stream.pid = pid ? QByteArray(pid).toLongLong() : 0;
    const char *name = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_NAME);
    state.stream.name = QString::fromUtf8(name ? name : info->name);
    state.muted = info->mute != 0;
    static_cast<QVector<StreamState> *>(data)->append(state);
}

bool listStreams(PulseCall &pulse, QVector<StreamState> *out)
{
    return pulse.wait(pa_context_get_sink_input_info_list(pulse.context(), onSinkInput, out));
}

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (comm) state ppid ...": comm may hold spaces and parentheses.
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : 0;
}

QString exeNameOf(qint64 pid)
{
    const QString target = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (!target.isEmpty())
        return QFileInfo(target).fileName().remove(QStringLiteral(" (deleted)"));
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    const QByteArray raw = cmdline.read(4096);
    return QFileInfo(QString::fromLocal8Bit(raw.left(raw.indexOf('\0')))).fileName();
}

} // namespace

bool isOwnSoundProcess(qint64 pid, qint64 ownPid)
{
    if (pid <= 0)
        return false;
    if (pid == ownPid)
        return true;
    // Up the parent chain to our process: the child of ours on that chain
    // must be the browser's subprocess. Programs the client merely started
    // (a player, an installer) are others.
    qint64 child = pid;
    qint64 parent = parentOf(pid);
    for (int depth = 0; depth < 32 && parent > 1; ++depth) {
        if (parent == ownPid) {
            const QString name = exeNameOf(child);
            return name == QLatin1String("QtWebEngineProcess") || name == QLatin1String("lumira_render");
        }
        child = parent;
        parent = parentOf(parent);
    }
    return false;
}

QVector<PlaybackStream> unmutedStreamsOfOthers(qint64 ownPid)
{
    PulseCall pulse("lumira-lock");
    QVector<StreamState> all;
    if (!pulse.connect() || !listStreams(pulse, &all))
        return {};
    QVector<PlaybackStream> out;
    for (const StreamState &state : all)
        if (!state.muted && state.stream.pid > 0 && !isOwnSoundProcess(state.stream.pid, ownPid))
            out.append(state.stream);
    return out;
}

int setStreamsMuted(const QVector<PlaybackStream> &streams, bool muted)
{
    PulseCall pulse("lumira-lock");
    QVector<StreamState> now;
    if (!pulse.connect() || !listStreams(pulse, &now))
        return -1;
    int set = 0;
    for (const PlaybackStream &wanted : streams) {
        for (const StreamState &state : now) {
            if (state.stream.id != wanted.id || state.stream.pid != wanted.pid)
                continue;
            if (pulse.wait(pa_context_set_sink_input_mute(
                    pulse.context(), wanted.id.toUInt(), muted ? 1 : 0, nullptr, nullptr)))
                ++set;
        }
    }
    return set;
}

} // namespace lumira::platform

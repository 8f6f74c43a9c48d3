// PulseAudio: Qt Multimedia names a device by its PulseAudio name, which is
// also stable across restarts, so it serves as the endpoint id. Monitors of
// sinks are loopbacks, not capture devices, and are left out.
#include "platform/AudioEndpoints.h"

#include "platform/PulseCall_linux.h"

#include <QDebug>

#include <pulse/pulseaudio.h>

#include <memory>

namespace lumira::platform
{
namespace
{

struct Query {
    AudioFlow flow;
    QList<AudioEndpoint> found;
    bool done = false;
};

QString friendlyName(const char *description, const char *name)
{
    const QString id = QString::fromUtf8(name);
    const QString text = description ? QString::fromUtf8(description) : QString();
    return text.isEmpty() ? id : text + QStringLiteral(" (") + id + QLatin1Char(')');
}

void onSink(pa_context *, const pa_sink_info *info, int eol, void *data)
{
    auto *query = static_cast<Query *>(data);
    if (eol != 0) {
        query->done = true;
        return;
    }
    query->found.append({ friendlyName(info->description, info->name), QString::fromUtf8(info->name) });
}

void onSource(pa_context *, const pa_source_info *info, int eol, void *data)
{
    auto *query = static_cast<Query *>(data);
    if (eol != 0) {
        query->done = true;
        return;
    }
    if (info->monitor_of_sink == PA_INVALID_INDEX)
        query->found.append({ friendlyName(info->description, info->name), QString::fromUtf8(info->name) });
}

} // namespace

QList<AudioEndpoint> activeAudioEndpoints(AudioFlow flow)
{
    Query query { flow, {} };
    PulseCall pulse("lumira-endpoints");
    if (!pulse.connect()) {
        qDebug() << "Error!\n";
        return {};
    }
    pa_context *context = pulse.context();
    if (!pulse.wait(flow == AudioFlow::Render ? pa_context_get_sink_info_list(context, onSink, &query)
                                              : pa_context_get_source_info_list(context, onSource, &query)))
        qDebug() << "Error!\n";
    if (query.found.isEmpty())
        qDebug() << "No endpoints found.\n";
    return query.found;
}

bool defaultAudioFromSystemDefault() { return true; }

} // namespace lumira::platform

// PulseAudio: Qt Multimedia names a device by its PulseAudio name, which is
// also stable across restarts, so it serves as the endpoint id. Monitors of
// sinks are loopbacks, not capture devices, and are left out.
#include "platform/AudioEndpoints.h"

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

struct MainloopFree {
    void operator()(pa_mainloop *m) const { pa_mainloop_free(m); }
};
struct ContextFree {
    void operator()(pa_context *c) const
    {
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};

} // namespace

QList<AudioEndpoint> activeAudioEndpoints(AudioFlow flow)
{
    Query query { flow, {} };
    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
    if (!loop) {
        qDebug() << "Error!\n";
        return {};
    }
    std::unique_ptr<pa_context, ContextFree> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "lumira-endpoints"));
    if (!context || pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        qDebug() << "Error!\n";
        return {};
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context.get());
        if (state == PA_CONTEXT_READY)
            break;
        if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(loop.get(), 1, nullptr) < 0) {
            qDebug() << "Error!\n";
            return {};
        }
    }
    pa_operation *op = flow == AudioFlow::Render ? pa_context_get_sink_info_list(context.get(), onSink, &query)
                                                 : pa_context_get_source_info_list(context.get(), onSource, &query);
    if (!op) {
        qDebug() << "Error!\n";
        return {};
    }
    while (!query.done) {
        if (pa_mainloop_iterate(loop.get(), 1, nullptr) < 0 || pa_operation_get_state(op) == PA_OPERATION_CANCELLED) {
            qDebug() << "Error!\n";
            break;
        }
    }
    pa_operation_unref(op);
    if (query.found.isEmpty())
        qDebug() << "No endpoints found.\n";
    return query.found;
}

bool defaultAudioFromSystemDefault() { return true; }

} // namespace lumira::platform

// ALSA and JACK print through error callbacks that default to stderr. Both
// libraries are loaded by Qt Multimedia's ALSA plugin only when it probes, so
// they are opened here by their sonames (the same instances the plugin gets
// later) and handed callbacks that drop the text. Neither is linked: a system
// without them has nothing to silence.
#include "platform/AudioLibraryNoise.h"

#include <QByteArray>
#include <QtGlobal>

#include <dlfcn.h>

namespace lumira::platform
{
namespace
{

using AlsaErrorHandler = void (*)(const char *file, int line, const char *function, int err, const char *fmt, ...);
using AlsaSetHandler = int (*)(AlsaErrorHandler);
using JackPrint = void (*)(const char *);
using JackSetPrint = void (*)(JackPrint);

void dropAlsa(const char *, int, const char *, int, const char *, ...) { }
void dropJack(const char *) { }

void quietAlsa()
{
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return;
    if (auto set = reinterpret_cast<AlsaSetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(&dropAlsa);
    // Kept open: the handler must outlive every ALSA call of the process.
}

void quietJack()
{
    // Without a running server, opening ALSA's "jack" device would otherwise
    // try to start one as well.
    if (qEnvironmentVariableIsEmpty("JACK_NO_START_SERVER"))
        qputenv("JACK_NO_START_SERVER", QByteArrayLiteral("1"));
    void *jack = dlopen("libjack.so.0", RTLD_NOW | RTLD_GLOBAL);
    if (!jack)
        return;
    if (auto set = reinterpret_cast<JackSetPrint>(dlsym(jack, "jack_set_error_function")))
        set(&dropJack);
    if (auto set = reinterpret_cast<JackSetPrint>(dlsym(jack, "jack_set_info_function")))
        set(&dropJack);
}

} // namespace

void quietAudioLibraries()
{
    static const bool done = [] {
        // A developer chasing an audio problem wants the libraries' own words.
        if (qEnvironmentVariableIntValue("LUMIRA_AUDIO_LIB_LOG") > 0)
            return true;
        quietAlsa();
        quietJack();
        return true;
    }();
    Q_UNUSED(done)
}

} // namespace lumira::platform

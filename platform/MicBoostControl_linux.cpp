// ALSA mixer: the microphone id is a PulseAudio source; its "alsa.card"
// property names the sound card whose mixer holds the boost control.
// Sources without a card (network, virtual, test sources) have no boost.
#include "platform/MicBoostControl.h"

#include "platform/PulseCall_linux.h"

#include <alsa/asoundlib.h>
#include <pulse/pulseaudio.h>

#include <cmath>
#include <memory>

namespace lumira::platform
{
namespace
{

struct CardQuery {
    QByteArray defaultSource;
    int card = -1;
    bool done = false;
};

void onServer(pa_context *, const pa_server_info *info, void *data)
{
    auto *query = static_cast<CardQuery *>(data);
    if (info && info->default_source_name)
        query->defaultSource = info->default_source_name;
    query->done = true;
}

void onSource(pa_context *, const pa_source_info *info, int eol, void *data)
{
    auto *query = static_cast<CardQuery *>(data);
    if (eol != 0 || !info) {
        query->done = true;
        return;
    }
    if (const char *card = pa_proplist_gets(info->proplist, "alsa.card")) {
        bool ok = false;
        const int number = QByteArray(card).toInt(&ok);
        if (ok)
            query->card = number;
    }
}

// The ALSA card behind the PulseAudio source, or -1.
int cardOfSource(const QString &micId)
{
    PulseCall pulse("lumira-boost");
    if (!pulse.connect())
        return -1;
    CardQuery query;
    QByteArray name = micId.toUtf8();
    if (name.isEmpty()) {
        if (!pulse.wait(pa_context_get_server_info(pulse.context(), onServer, &query)) || query.defaultSource.isEmpty())
            return -1;
        name = query.defaultSource;
    }
    if (!pulse.wait(pa_context_get_source_info_by_name(pulse.context(), name.constData(), onSource, &query)))
        return -1;
    return query.card;
}

bool isBoostName(const char *name)
{
    for (const char *boost : kMicBoostNames)
        if (qstrcmp(name, boost) == 0)
            return true;
    return false;
}

class AlsaBoost : public MicBoostControl
{
public:
    AlsaBoost(snd_mixer_t *mixer, snd_mixer_elem_t *elem)
        : m_mixer(mixer)
        , m_elem(elem)
        , m_capture(snd_mixer_selem_has_capture_volume(elem) != 0)
    {
    }
    ~AlsaBoost() override { snd_mixer_close(m_mixer); }

    bool level(float *db) override
    {
        long value = 0;
        const int rc = m_capture ? snd_mixer_selem_get_capture_dB(m_elem, SND_MIXER_SCHN_FRONT_LEFT, &value)
                                 : snd_mixer_selem_get_playback_dB(m_elem, SND_MIXER_SCHN_FRONT_LEFT, &value);
        *db = float(value) / 100.0f; // ALSA counts in hundredths of a dB
        return rc == 0;
    }
    bool range(float *minDb, float *maxDb, float *stepDb) override
    {
        long minValue = 0, maxValue = 0, minStep = 0, maxStep = 0;
        const bool ok = m_capture ? snd_mixer_selem_get_capture_dB_range(m_elem, &minValue, &maxValue) == 0
                && snd_mixer_selem_get_capture_volume_range(m_elem, &minStep, &maxStep) == 0
                                  : snd_mixer_selem_get_playback_dB_range(m_elem, &minValue, &maxValue) == 0
                && snd_mixer_selem_get_playback_volume_range(m_elem, &minStep, &maxStep) == 0;
        if (!ok)
            return false;
        *minDb = float(minValue) / 100.0f;
        *maxDb = float(maxValue) / 100.0f;
        *stepDb = maxStep > minStep ? (*maxDb - *minDb) / float(maxStep - minStep) : 0.0f;
        return true;
    }
    bool setLevel(float db) override
    {
        const long value = std::lround(double(db) * 100.0);
        return (m_capture ? snd_mixer_selem_set_capture_dB_all(m_elem, value, 0)
                          : snd_mixer_selem_set_playback_dB_all(m_elem, value, 0))
            == 0;
    }

private:
    snd_mixer_t *m_mixer;
    snd_mixer_elem_t *m_elem;
    bool m_capture;
};

} // namespace

std::unique_ptr<MicBoostControl> openMicBoostControl(const QString &micId)
{
    const int card = cardOfSource(micId);
    if (card < 0)
        return nullptr;
    snd_mixer_t *mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0)
        return nullptr;
    const QByteArray device = "hw:" + QByteArray::number(card);
    if (snd_mixer_attach(mixer, device.constData()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0
        || snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return nullptr;
    }
    for (snd_mixer_elem_t *elem = snd_mixer_first_elem(mixer); elem; elem = snd_mixer_elem_next(elem)) {
        if (!isBoostName(snd_mixer_selem_get_name(elem)) || snd_mixer_selem_get_index(elem) != 0)
            continue;
        if (snd_mixer_selem_has_capture_volume(elem) || snd_mixer_selem_has_playback_volume(elem))
            return std::make_unique<AlsaBoost>(mixer, elem);
    }
    snd_mixer_close(mixer);
    return nullptr;
}

} // namespace lumira::platform

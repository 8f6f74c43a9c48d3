// Core Audio: walk the capture endpoint's device topology upstream from its
// connector to the first part named as a boost control, and use its
// IAudioVolumeLevel. COM lives as long as the control.
#include "platform/MicBoostControl.h"

// windows.h first: the others rely on its definitions.
#include <windows.h>

#include <devicetopology.h>
#include <mmdeviceapi.h>

#include <string>

namespace lumira::platform
{
namespace
{

template <typename T>
void release(T *&p)
{
    if (p)
        p->Release();
    p = nullptr;
}

bool isBoostName(const QString &name)
{
    for (const char *boost : kMicBoostNames)
        if (name == QString::fromUtf8(boost))
            return true;
    return false;
}

class CoreAudioBoost : public MicBoostControl
{
public:
    CoreAudioBoost(IAudioVolumeLevel *level, bool comOwned)
        : m_level(level)
        , m_comOwned(comOwned)
    {
    }
    ~CoreAudioBoost() override
    {
        release(m_level);
        if (m_comOwned)
            CoUninitialize();
    }
    bool level(float *db) override { return SUCCEEDED(m_level->GetLevel(0, db)); }
    bool range(float *minDb, float *maxDb, float *stepDb) override
    {
        return SUCCEEDED(m_level->GetLevelRange(0, minDb, maxDb, stepDb));
    }
    bool setLevel(float db) override { return SUCCEEDED(m_level->SetLevel(0, db, nullptr)); }

private:
    IAudioVolumeLevel *m_level;
    bool m_comOwned;
};

// Depth-first upstream from `part`; the first boost part found, activated.
IAudioVolumeLevel *findBoost(IPart *part, int depth)
{
    if (!part || depth > 32)
        return nullptr;
    LPWSTR name = nullptr;
    if (SUCCEEDED(part->GetName(&name)) && name) {
        const bool boost = isBoostName(QString::fromWCharArray(name));
        CoTaskMemFree(name);
        IAudioVolumeLevel *level = nullptr;
        if (boost
            && SUCCEEDED(part->Activate(CLSCTX_ALL, __uuidof(IAudioVolumeLevel), reinterpret_cast<void **>(&level))))
            return level;
    }
    IPartsList *incoming = nullptr;
    if (FAILED(part->EnumPartsIncoming(&incoming)))
        return nullptr;
    UINT count = 0;
    incoming->GetCount(&count);
    IAudioVolumeLevel *found = nullptr;
    for (UINT i = 0; i < count && !found; ++i) {
        IPart *next = nullptr;
        if (SUCCEEDED(incoming->GetPart(i, &next)))
            found = findBoost(next, depth + 1);
        release(next);
    }
    release(incoming);
    return found;
}

} // namespace

std::unique_ptr<MicBoostControl> openMicBoostControl(const QString &micId)
{
    const bool comOwned = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IMMDeviceEnumerator *enumerator = nullptr;
    IMMDevice *device = nullptr;
    IDeviceTopology *topology = nullptr;
    IConnector *connector = nullptr;
    IConnector *connectedTo = nullptr;
    IPart *part = nullptr;
    IAudioVolumeLevel *level = nullptr;
    const std::wstring id = micId.toStdWString();
    if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
            reinterpret_cast<void **>(&enumerator)))
        && SUCCEEDED(micId.isEmpty() ? enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &device)
                                     : enumerator->GetDevice(id.c_str(), &device))
        && SUCCEEDED(
            device->Activate(__uuidof(IDeviceTopology), CLSCTX_ALL, nullptr, reinterpret_cast<void **>(&topology)))
        && SUCCEEDED(topology->GetConnector(0, &connector)) && SUCCEEDED(connector->GetConnectedTo(&connectedTo))
        && SUCCEEDED(connectedTo->QueryInterface(__uuidof(IPart), reinterpret_cast<void **>(&part))))
        level = findBoost(part, 0);
    release(part);
    release(connectedTo);
    release(connector);
    release(topology);
    release(device);
    release(enumerator);
    if (!level) {
        if (comOwned)
            CoUninitialize();
        return nullptr;
    }
    return std::make_unique<CoreAudioBoost>(level, comOwned);
}

} // namespace lumira::platform

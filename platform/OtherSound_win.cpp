// Windows Core Audio: the sessions of every active render endpoint; a session
// names its process. Sessions have no lasting id of their own here, so the id
// is the session instance identifier.
#include "platform/OtherSound.h"

#include <QFileInfo>

// windows.h first: the others rely on its definitions.
#include <windows.h>

#include <audiopolicy.h>
#include <mmdeviceapi.h>
#include <tlhelp32.h>

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

QString exeNameOf(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return {};
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof(entry);
    QString name;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == pid) {
            name = QString::fromWCharArray(entry.szExeFile);
            break;
        }
    }
    CloseHandle(snapshot);
    return name;
}

// Calls `visit(control, muteControl, pid, id)` for every session of every active render endpoint.
template <typename Visit>
bool forEachSession(Visit visit)
{
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IMMDeviceEnumerator *enumerator = nullptr;
    IMMDeviceCollection *devices = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                  __uuidof(IMMDeviceEnumerator), reinterpret_cast<void **>(&enumerator)))
        && SUCCEEDED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &devices));
    UINT deviceCount = 0;
    if (ok)
        devices->GetCount(&deviceCount);
    for (UINT i = 0; ok && i < deviceCount; ++i) {
        IMMDevice *device = nullptr;
        IAudioSessionManager2 *manager = nullptr;
        IAudioSessionEnumerator *sessions = nullptr;
        if (SUCCEEDED(devices->Item(i, &device))
            && SUCCEEDED(device->Activate(
                __uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr, reinterpret_cast<void **>(&manager)))
            && SUCCEEDED(manager->GetSessionEnumerator(&sessions))) {
            int count = 0;
            sessions->GetCount(&count);
            for (int s = 0; s < count; ++s) {
                IAudioSessionControl *control = nullptr;
                IAudioSessionControl2 *control2 = nullptr;
                ISimpleAudioVolume *volume = nullptr;
                LPWSTR id = nullptr;
                DWORD pid = 0;
                if (SUCCEEDED(sessions->GetSession(s, &control))
                    && SUCCEEDED(
                        control->QueryInterface(__uuidof(IAudioSessionControl2), reinterpret_cast<void **>(&control2)))
                    && SUCCEEDED(control2->GetProcessId(&pid)) && SUCCEEDED(control2->GetSessionInstanceIdentifier(&id))
                    && SUCCEEDED(
                        control->QueryInterface(__uuidof(ISimpleAudioVolume), reinterpret_cast<void **>(&volume))))
                    visit(volume, qint64(pid), QString::fromWCharArray(id));
                if (id)
                    CoTaskMemFree(id);
                release(volume);
                release(control2);
                release(control);
            }
        }
        release(sessions);
        release(manager);
        release(device);
    }
    release(devices);
    release(enumerator);
    if (SUCCEEDED(init))
        CoUninitialize();
    return ok;
}

} // namespace

bool isOwnSoundProcess(qint64 pid, qint64 ownPid)
{
    if (pid == ownPid)
        return true;
    const QString name = exeNameOf(DWORD(pid));
    return name == QLatin1String("lumira_app.exe") || name == QLatin1String("lumira_render.exe");
}

QVector<PlaybackStream> unmutedStreamsOfOthers(qint64 ownPid)
{
    QVector<PlaybackStream> out;
    forEachSession([&](ISimpleAudioVolume *volume, qint64 pid, const QString &id) {
        BOOL muted = FALSE;
        if (SUCCEEDED(volume->GetMute(&muted)) && !muted && !isOwnSoundProcess(pid, ownPid))
            out.append({ id, pid, exeNameOf(DWORD(pid)) });
    });
    return out;
}

int setStreamsMuted(const QVector<PlaybackStream> &streams, bool muted)
{
    int set = 0;
    const bool ok = forEachSession([&](ISimpleAudioVolume *volume, qint64 pid, const QString &id) {
        for (const PlaybackStream &wanted : streams) {
            GUID context {};
            if (wanted.id == id && wanted.pid == pid && SUCCEEDED(CoCreateGuid(&context))
                && SUCCEEDED(volume->SetMute(muted ? TRUE : FALSE, &context)))
                ++set;
        }
    });
    return ok ? set : -1;
}

} // namespace lumira::platform

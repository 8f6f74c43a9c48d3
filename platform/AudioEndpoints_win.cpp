// Core Audio: the active endpoints of a flow with their ids and friendly names.
#include "platform/AudioEndpoints.h"

#include <QDebug>

#include <memory>

#include <windows.h>

#include <mmdeviceapi.h>
// The property keys are defined, not only declared, in this file.
#include <initguid.h>

#include <functiondiscoverykeys_devpkey.h>

namespace lumira::platform
{
namespace
{

template <typename T>
struct ComRelease {
    void operator()(T *p) const
    {
        if (p)
            p->Release();
    }
};
template <typename T>
using ComPtr = std::unique_ptr<T, ComRelease<T>>;

} // namespace

QList<AudioEndpoint> activeAudioEndpoints(AudioFlow flow)
{
    QList<AudioEndpoint> found;
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IMMDeviceEnumerator *rawEnumerator = nullptr;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
        reinterpret_cast<void **>(&rawEnumerator));
    ComPtr<IMMDeviceEnumerator> enumerator(rawEnumerator);
    IMMDeviceCollection *rawCollection = nullptr;
    if (SUCCEEDED(hr))
        hr = enumerator->EnumAudioEndpoints(
            flow == AudioFlow::Capture ? eCapture : eRender, DEVICE_STATE_ACTIVE, &rawCollection);
    ComPtr<IMMDeviceCollection> collection(rawCollection);
    UINT count = 0;
    if (SUCCEEDED(hr))
        hr = collection->GetCount(&count);
    if (SUCCEEDED(hr) && count == 0)
        qDebug() << "No endpoints found.\n";
    for (UINT i = 0; SUCCEEDED(hr) && i < count; ++i) {
        IMMDevice *rawDevice = nullptr;
        hr = collection->Item(i, &rawDevice);
        ComPtr<IMMDevice> device(rawDevice);
        LPWSTR id = nullptr;
        if (SUCCEEDED(hr))
            hr = device->GetId(&id);
        IPropertyStore *rawProps = nullptr;
        if (SUCCEEDED(hr))
            hr = device->OpenPropertyStore(STGM_READ, &rawProps);
        ComPtr<IPropertyStore> props(rawProps);
        PROPVARIANT name;
        PropVariantInit(&name);
        if (SUCCEEDED(hr))
            hr = props->GetValue(PKEY_Device_FriendlyName, &name);
        if (SUCCEEDED(hr))
            found.append({ QString::fromWCharArray(name.pwszVal), QString::fromWCharArray(id) });
        CoTaskMemFree(id);
        PropVariantClear(&name);
    }
    if (FAILED(hr))
        qDebug() << "Error!\n";
    if (SUCCEEDED(init))
        CoUninitialize();
    return found;
}

bool defaultAudioFromSystemDefault() { return false; }

} // namespace lumira::platform

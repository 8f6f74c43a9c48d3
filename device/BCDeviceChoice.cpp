// The device lists and the choice of defaults: what Qt Multimedia and the
// platform's endpoints offer, reconciled with what the settings hold.
#include "device/BCDevice.h"

#include "app/LMRConfig.h"
#include "app/TSpdlog.h"
#include "device/DeviceLog.h"
#include "platform/AudioEndpoints.h"
#include "platform/AudioLibraryNoise.h"
#include "platform/CameraIdentity.h"

#include <QAudioDeviceInfo>
#include <QCameraInfo>

using lumira::device::Reconcile;
using lumira::device::StoredDevice;
namespace platform = lumira::platform;

namespace
{

bool supports8k(const QAudioDeviceInfo &device) { return device.supportedSampleRates().contains(8000); }

// Qt Multimedia lists the devices of every audio plugin. When the sound
// server's plugin answers, the ALSA plugin only adds aliases of that server
// ("default", "pulse") that match no endpoint and are dropped anyway; asking
// them for their sample rates opens every ALSA device, which takes most of a
// second and sets the ALSA and JACK libraries probing. They are left out then.
bool probedInVain(const QAudioDeviceInfo &device, bool serverAnswers)
{
    return serverAnswers && device.realm() == QLatin1String("alsa");
}

bool serverAnswers(const QList<QAudioDeviceInfo> &devices)
{
    for (const QAudioDeviceInfo &device : devices)
        if (device.realm() != QLatin1String("alsa"))
            return true;
    return false;
}

QList<QAudioDeviceInfo> capableDevices(QAudio::Mode mode)
{
    // Every audio device the manager opens comes from a list made here: the
    // libraries are quietened before the first one, not at start-up.
    platform::quietAudioLibraries();
    const QList<QAudioDeviceInfo> all = QAudioDeviceInfo::availableDevices(mode);
    const bool server = serverAnswers(all);
    QList<QAudioDeviceInfo> found;
    for (const QAudioDeviceInfo &device : all)
        if (!probedInVain(device, server) && supports8k(device))
            found.append(device);
    return found;
}

} // namespace

// ---- enumeration --------------------------------------------------------

QStringList BCDevice::getCameras()
{
    m_cameras.clear();
    m_cameraIds.clear();
    QStringList names;
    // Without a device node there is nothing to list: a machine without a
    // camera lists them at every start, and the camera plugin costs more than
    // the rest of the device step.
    m_cameras = platform::mayHaveCameras() ? QCameraInfo::availableCameras() : QList<QCameraInfo>();
    for (const QCameraInfo &camera : qAsConst(m_cameras)) {
        names << camera.description();
        const std::optional<QString> id = platform::cameraId(camera.deviceName(), camera.description());
        if (!id)
            TSpdlog::fatalExit(QStringLiteral("Fatal:") + QStringLiteral("qt camera not start with @device:pnp")
                + camera.deviceName() + QLatin1Char(' ') + QStringLiteral("camera index"));
        m_cameraIds << *id;
        TSpdlog::instance()->avInfo(
            QStringLiteral("detect camera ?? \tdevice:%1\tdescrip:%2").arg(camera.deviceName(), camera.description()));
    }

    LMRConfig *config = LMRConfig::instance();
    const StoredDevice choice { config->getCameraIndex(), config->getCameraName(), config->getCameraId() };
    const Reconcile r = lumira::device::reconcileCamera(choice, m_cameraIds);
    switch (r.action) {
    case Reconcile::Clear:
        storeCamera({});
        break;
    case Reconcile::TakeFirst:
        storeCamera({ 0, names.first(), m_cameraIds.first() });
        break;
    case Reconcile::Swap:
        lumira::device::swapEntries(names, r.from, choice.index);
        lumira::device::swapEntries(m_cameras, r.from, choice.index);
        lumira::device::swapEntries(m_cameraIds, r.from, choice.index);
        break;
    case Reconcile::Keep:
        break;
    }
    return names;
}

QStringList BCDevice::getMicrophones() { return enumerateAudio(Kind::Microphone); }

QStringList BCDevice::getLoudspeakers() { return enumerateAudio(Kind::Speaker); }

QStringList BCDevice::enumerateAudio(Kind kind)
{
    const bool mic = kind == Kind::Microphone;
    AudioList &list = mic ? m_mics : m_speakers;
    list = {};
    const QString detect
        = mic ? QStringLiteral("detect mic ?? \tdevice:%1") : QStringLiteral("detect speaker ?? \tdevice:%1");
    list.capable = capableDevices(mic ? QAudio::AudioInput : QAudio::AudioOutput);
    for (const QAudioDeviceInfo &device : qAsConst(list.capable)) {
        list.devices << device;
        list.names << device.deviceName();
        TSpdlog::instance()->avInfo(detect.arg(device.deviceName()));
    }

    // Devices the system's endpoint list does not know are left out before the
    // stored choice is placed, so the stored index holds in the final list.
    const QList<platform::AudioEndpoint> endpoints
        = platform::activeAudioEndpoints(mic ? platform::AudioFlow::Capture : platform::AudioFlow::Render);
    AudioList matched;
    for (int i = 0; i < list.names.size(); ++i) {
        const QString id = lumira::device::endpointIdFor(list.names.at(i), endpoints, mic);
        if (id.isEmpty()) {
            TSpdlog::instance()->avError(QStringLiteral("not this device (qt name):") + list.names.at(i));
            continue;
        }
        matched.devices << list.devices.at(i);
        matched.names << list.names.at(i);
        matched.ids << id;
    }
    list = matched;

    const StoredDevice choice = stored(kind);
    const Reconcile r = lumira::device::reconcileAudio(choice, list.names);
    if (r.action == Reconcile::Clear) {
        store(kind, {});
    } else if (r.action == Reconcile::Swap) {
        lumira::device::swapEntries(list.devices, r.from, choice.index);
        lumira::device::swapEntries(list.names, r.from, choice.index);
        lumira::device::swapEntries(list.ids, r.from, choice.index);
    }
    return list.names;
}

void BCDevice::updateDevice()
{
    getCameras();
    getMicrophones();
    getLoudspeakers();
}

StoredDevice BCDevice::stored(Kind kind) const
{
    LMRConfig *config = LMRConfig::instance();
    if (kind == Kind::Microphone)
        return { config->getMicIndex(), config->getMicName(), config->getMicId() };
    return { config->getSpeakerIndex(), config->getSpeakerName(), config->getSpeakerId() };
}

// Each setting written is a rewrite of the settings file: a choice that is
// already stored (a machine without a camera, every start) is not written.
void BCDevice::store(Kind kind, const StoredDevice &choice) const
{
    if (stored(kind) == choice)
        return;
    LMRConfig *config = LMRConfig::instance();
    if (kind == Kind::Microphone) {
        config->setMicIndex(choice.index);
        config->setMicName(choice.name);
        config->setMicId(choice.id);
    } else {
        config->setSpeakerIndex(choice.index);
        config->setSpeakerName(choice.name);
        config->setSpeakerId(choice.id);
    }
}

void BCDevice::storeCamera(const StoredDevice &choice) const
{
    LMRConfig *config = LMRConfig::instance();
    if (StoredDevice { config->getCameraIndex(), config->getCameraName(), config->getCameraId() } == choice)
        return;
    config->setCameraIndex(choice.index);
    config->setCameraName(choice.name);
    config->setCameraId(choice.id);
}

// ---- default choice -----------------------------------------------------

bool BCDevice::setDefaultCameraDevice()
{
    updateDevice();
    return chooseDefaultCamera();
}

bool BCDevice::chooseDefaultCamera()
{
    // Nothing listed, nothing to match: the camera plugin is not asked.
    const QCameraInfo camera = m_cameraIds.isEmpty() ? QCameraInfo() : QCameraInfo::defaultCamera();
    if (camera.isNull()) {
        qCDebug(lcDevice) << "warning: camera list is null";
        storeCamera({});
        return false;
    }
    const QString key = platform::defaultCameraKey(camera.deviceName(), camera.description());
    for (int i = 0; i < m_cameraIds.size(); ++i) {
        if (key.contains(m_cameraIds.at(i))) {
            storeCamera({ i, camera.description(), m_cameraIds.at(i) });
            return true;
        }
    }
    qCDebug(lcDevice) << "opps camera";
    storeCamera({});
    return false;
}

bool BCDevice::setDefaultMicDevice()
{
    updateDevice();
    return chooseDefaultAudio(Kind::Microphone);
}

bool BCDevice::setDefaultSpeakerDevice()
{
    updateDevice();
    return chooseDefaultAudio(Kind::Speaker);
}

bool BCDevice::chooseDefaultAudio(Kind kind)
{
    const bool mic = kind == Kind::Microphone;
    const AudioList &list = mic ? m_mics : m_speakers;
    // Every caller has just enumerated: the capable devices are current.
    QList<QAudioDeviceInfo> candidates = list.capable;
    if (platform::defaultAudioFromSystemDefault()) {
        const QAudioDeviceInfo system
            = mic ? QAudioDeviceInfo::defaultInputDevice() : QAudioDeviceInfo::defaultOutputDevice();
        if (!system.isNull() && !probedInVain(system, serverAnswers(candidates)) && supports8k(system))
            candidates.prepend(system);
    }
    if (candidates.isEmpty()) {
        qCDebug(lcDevice) << (mic ? "warning: mic list is null" : "warning: speaker list is null");
        store(kind, {});
        return false;
    }
    const QString name = candidates.first().deviceName();
    for (int i = 0; i < list.names.size(); ++i) {
        if (name.contains(list.names.at(i))) {
            store(kind, { i, name, list.ids.at(i) });
            return true;
        }
    }
    qCDebug(lcDevice) << (mic ? "opps mic" : "opps speaker");
    store(kind, {});
    return false;
}

uchar BCDevice::setStartupDefaults()
{
    LMRConfig *config = LMRConfig::instance();
    auto unset = [config] {
        return std::array<bool, 3> { config->getCameraIndex() == -1, config->getMicIndex() == -1,
            config->getSpeakerIndex() == -1 };
    };
    const std::array<bool, 3> before = unset();
    if (!before[0] && !before[1] && !before[2])
        return 0;
    // Only the kinds to be chosen are listed, each once: a machine without a
    // camera comes here on every start, and listing the audio devices as well
    // would cost most of the step for choices that are already stored (QML
    // lists them again when it shows them).
    if (before[0])
        getCameras();
    if (before[1])
        getMicrophones();
    if (before[2])
        getLoudspeakers();
    const std::array<bool, 3> after = unset();
    uchar failed = 0;
    if (before[0] && after[0] && !chooseDefaultCamera())
        failed |= 4;
    if (before[1] && after[1] && !chooseDefaultAudio(Kind::Microphone))
        failed |= 2;
    if (before[2] && after[2] && !chooseDefaultAudio(Kind::Speaker))
        failed |= 1;
    return failed;
}

uchar BCDevice::resetDefaultDevice()
{
    updateDevice(); // once for all three choices
    uchar failed = 0;
    if (!chooseDefaultCamera())
        failed |= 4;
    if (!chooseDefaultAudio(Kind::Microphone))
        failed |= 2;
    if (!chooseDefaultAudio(Kind::Speaker))
        failed |= 1;
    return failed;
}

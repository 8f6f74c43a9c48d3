// LMRILive: local devices, beauty and courseware audio (GUI thread, except
// the player's progress, which comes on the SDK's event thread).
#include "media/LMRILive.h"

#include "app/TSpdlog.h"

namespace
{
TSpdlog *log() { return TSpdlog::instance(); }

QString fromSdk(const ilive::String &text) { return QString::fromUtf8(text.c_str(), int(text.size())); }

// Two virtual cameras of streaming tools are chosen by their name in the
// device manager; the SDK knows them by its own id.
bool isNamedVirtualCamera(const QString &uuid)
{
    return uuid == QStringLiteral("YY开播") || uuid == QStringLiteral("6RoomsCamV10");
}
} // namespace

void LMRILive::openCamera(const QByteArray &id)
{
    const int rc = m_sdk->openCamera(id.constData());
    m_cameraOpen = rc == ilive::ILIVE_OK;
    if (rc != ilive::ILIVE_OK)
        log()->avError(QStringLiteral("ilive open camera error %1 %2").arg(QString::fromUtf8(id)).arg(rc));
    emit stateChanged();
}

bool LMRILive::setCamera(QString uuid)
{
    if (!m_sdk)
        return false;
    if (isNamedVirtualCamera(uuid)) {
        ilive::Vector<ilive::Pair<ilive::String, ilive::String>> cameras;
        m_sdk->getCameraList(cameras);
        for (size_t i = 0; i < cameras.size(); ++i) {
            if (fromSdk(cameras[i].second) != uuid)
                continue;
            if (m_inRoom)
                openCamera(QByteArray(cameras[i].first.c_str()));
            return true;
        }
        return false;
    }
    // The class sends 240 x 180 at 15 fps: a camera without it stays closed.
    if (!m_cameraCheck(uuid, 240, 180, 15))
        return false;
    log()->avInfo(QStringLiteral("ilive 设置摄像头 %1").arg(uuid));
    if (m_inRoom)
        openCamera(uuid.toUtf8());
    return true;
}

bool LMRILive::setMic(QString uuid)
{
    if (!m_sdk)
        return false;
    log()->avInfo(QStringLiteral("ilive 设置麦克风 %1:").arg(uuid));
    ilive::Vector<ilive::Pair<ilive::String, ilive::String>> mics;
    m_sdk->getMicList(mics);
    for (size_t i = 0; i < mics.size(); ++i)
        log()->avInfo(QStringLiteral("Mic List:Name:%1 Id:%2").arg(fromSdk(mics[i].second), fromSdk(mics[i].first)));
    const QByteArray id = uuid.toUtf8();
    const bool ok = m_sdk->openMic(id.constData()) == ilive::ILIVE_OK;
    m_micOpened = ok;
    // A microphone opened again after closeMic() records again: otherwise
    // the rest of the class would be missing from the recording.
    if (ok)
        m_micClosed = false;
    emit stateChanged();
    return ok;
}

bool LMRILive::setSpeaker(QString uuid)
{
    if (!m_sdk)
        return false;
    log()->avInfo(QStringLiteral("ilive 设置扬声器 %1:").arg(uuid));
    ilive::Vector<ilive::Pair<ilive::String, ilive::String>> players;
    m_sdk->getPlayerList(players);
    for (size_t i = 0; i < players.size(); ++i)
        log()->avInfo(
            QStringLiteral("Play List:Name:%1 Id:%2").arg(fromSdk(players[i].second), fromSdk(players[i].first)));
    const QByteArray id = uuid.toUtf8();
    m_playerOpen = m_sdk->openPlayer(id.constData()) == ilive::ILIVE_OK;
    emit stateChanged();
    return m_playerOpen;
}

void LMRILive::closeCamera()
{
    if (!m_sdk)
        return;
    m_sdk->closeCamera();
    m_cameraOpen = false;
    emit stateChanged();
}

void LMRILive::closeMic()
{
    if (!m_sdk)
        return;
    m_micClosed = true;
    m_sdk->closeMic();
    m_micOpened = false;
    emit stateChanged();
}

void LMRILive::closePlayer()
{
    if (!m_sdk)
        return;
    m_sdk->closePlayer();
    m_playerOpen = false;
    emit stateChanged();
}

void LMRILive::setSkinSmooth(bool grad)
{
    if (!m_sdk)
        return;
    m_sdk->setSkinSmoothGrade(grad ? 4 : 0);
    m_sdk->setSkinWhitenessGrade();
}

bool LMRILive::setMediaVolume(int value)
{
    if (!m_sdk || !m_loggedIn || value < 0)
        return false;
    return m_sdk->setPlayerVolume(uint32_t(value)) == ilive::ILIVE_OK;
}

// ---- courseware audio ------------------------------------------------------------------

int LMRILive::playMedia(QString path)
{
    if (!m_sdk || !m_loggedIn)
        return 0;
    m_sdk->setFilePlayProgressCallback(&LMRILive::onFileProgress, this);
    const QByteArray file = path.toUtf8();
    const int opened = m_sdk->openPlayMediaFile(file.constData());
    if (opened != ilive::ILIVE_OK || m_sdk->playMediaFile() != ilive::ILIVE_OK) {
        log()->avError(QStringLiteral("ilive play media error %1 %2").arg(path).arg(opened));
        return 0;
    }
    int64_t position = 0, duration = 0;
    m_sdk->getMediaFilePos(position, duration);
    return int(duration / 1000);
}

bool LMRILive::isMeiaFile(QString path)
{
    const QByteArray file = path.toUtf8();
    return m_sdk && m_sdk->isValidMediaFile(file.constData());
}

bool LMRILive::pauseMedia() { return m_sdk && m_inRoom && m_sdk->pauseMediaFile() == ilive::ILIVE_OK; }

bool LMRILive::resumeMedia() { return m_sdk && m_inRoom && m_sdk->resumeMediaFile() == ilive::ILIVE_OK; }

bool LMRILive::seekMedia(int pos)
{
    return m_sdk && m_inRoom && pos >= 0 && m_sdk->setMediaFilePos(pos) == ilive::ILIVE_OK;
}

bool LMRILive::stopMedia()
{
    if (!m_sdk || !m_inRoom)
        return false;
    m_sdk->stopMediaFile();
    return true;
}

QStringList LMRILive::getCurrentPos()
{
    if (!m_sdk)
        return {};
    int64_t position = 0, duration = 0;
    if (!m_loggedIn || m_sdk->getMediaFilePos(position, duration) != ilive::ILIVE_OK)
        return { QStringLiteral("0"), QStringLiteral("0") };
    return { QString::number(duration / 1000), QString::number(position / 1000) };
}

void LMRILive::onFileProgress(int64_t positionMs, int64_t, void *data)
{
    auto *self = static_cast<LMRILive *>(data);
    const int seconds = int(positionMs / 1000);
    self->gui([self, seconds] { emit self->mediaPos(seconds); });
}

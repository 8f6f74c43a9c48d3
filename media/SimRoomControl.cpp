#include "media/SimRoomControl.h"

#include "app/TSpdlog.h"

#include <simroom/SimRoom.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

void readInt(const QJsonObject &obj, const char *key, int &out, int low, int high)
{
    const QJsonValue value = obj.value(QLatin1String(key));
    if (value.isDouble())
        out = qBound(low, value.toInt(), high);
}

} // namespace

bool SimRoomControl::configure(const QString &json)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        TSpdlog::instance()->avError(QStringLiteral("simroom config error:") + error.errorString());
        return false;
    }
    const QJsonObject obj = doc.object();
    simroom::Config config = simroom::Room::instance().config();
    readInt(obj, "joinDelayMs", config.joinDelayMs, 0, 60000);
    readInt(obj, "joinError", config.joinError, -100000, 100000);
    readInt(obj, "failConnectionAfterMs", config.failConnectionAfterMs, -1, 3600000);
    readInt(obj, "jitterMs", config.jitterMs, 0, 100);
    readInt(obj, "fps", config.fps, 1, 60);
    readInt(obj, "remoteWidth", config.remoteWidth, 16, 1920);
    readInt(obj, "remoteHeight", config.remoteHeight, 16, 1080);
    config.remoteWidth &= ~1;
    config.remoteHeight &= ~1;
    if (obj.value(QLatin1String("driftPpm")).isDouble())
        config.driftPpm = qBound(-10000.0, obj.value(QLatin1String("driftPpm")).toDouble(), 10000.0);
    if (obj.value(QLatin1String("peers")).isArray()) {
        config.peers.clear();
        for (const QJsonValue &value : obj.value(QLatin1String("peers")).toArray()) {
            const QJsonObject p = value.toObject();
            simroom::Peer peer;
            peer.uid = unsigned(p.value(QLatin1String("uid")).toVariant().toUInt());
            if (peer.uid == 0)
                continue;
            peer.name = p.value(QLatin1String("name")).toString().toStdString();
            readInt(p, "volume", peer.volume, 0, 255);
            readInt(p, "joinAfterMs", peer.joinAfterMs, 0, 3600000);
            readInt(p, "leaveAfterMs", peer.leaveAfterMs, -1, 3600000);
            if (p.value(QLatin1String("sendsVideo")).isBool())
                peer.sendsVideo = p.value(QLatin1String("sendsVideo")).toBool();
            if (p.value(QLatin1String("sendsAudio")).isBool())
                peer.sendsAudio = p.value(QLatin1String("sendsAudio")).toBool();
            config.peers.push_back(peer);
        }
    }
    simroom::Room::instance().setConfig(config);
    TSpdlog::instance()->avInfo(QStringLiteral("simroom config:") + configuration());
    return true;
}

bool SimRoomControl::peerAction(int uid, const QString &action)
{
    static const struct {
        const char *name;
        simroom::PeerAction action;
    } kActions[] = { { "join", simroom::PeerAction::Join }, { "leave", simroom::PeerAction::Leave },
        { "camera_on", simroom::PeerAction::CameraOn }, { "camera_off", simroom::PeerAction::CameraOff },
        { "mic_on", simroom::PeerAction::MicOn }, { "mic_off", simroom::PeerAction::MicOff } };
    for (const auto &known : kActions) {
        if (action != QLatin1String(known.name))
            continue;
        const bool queued = uid > 0 && simroom::Room::instance().peerAction(unsigned(uid), known.action);
        TSpdlog::instance()->avInfo(QStringLiteral("simroom peer %1 %2%3")
                                        .arg(uid)
                                        .arg(action, queued ? QString() : QStringLiteral(" refused")));
        return queued;
    }
    TSpdlog::instance()->avError(QStringLiteral("simroom unknown peer action:"), action.left(64));
    return false;
}

QString SimRoomControl::configuration() const
{
    const simroom::Config c = simroom::Room::instance().config();
    QJsonArray peers;
    for (const simroom::Peer &p : c.peers)
        peers.append(QJsonObject { { "uid", qint64(p.uid) }, { "name", QString::fromStdString(p.name) },
            { "volume", p.volume }, { "joinAfterMs", p.joinAfterMs }, { "leaveAfterMs", p.leaveAfterMs },
            { "sendsVideo", p.sendsVideo }, { "sendsAudio", p.sendsAudio } });
    const QJsonObject obj { { "joinDelayMs", c.joinDelayMs }, { "joinError", c.joinError },
        { "failConnectionAfterMs", c.failConnectionAfterMs }, { "jitterMs", c.jitterMs }, { "driftPpm", c.driftPpm },
        { "fps", c.fps }, { "remoteWidth", c.remoteWidth }, { "remoteHeight", c.remoteHeight }, { "peers", peers } };
    return QString::fromUtf8(QJsonDocument(obj).toJson(QJsonDocument::Compact));
}

#include "device/DeviceChoice.h"

namespace lumira::device
{

Reconcile reconcileCamera(const StoredDevice &stored, const QStringList &ids)
{
    if (stored.index == -1)
        return {};
    if (ids.isEmpty())
        return { Reconcile::Clear };
    const int at = ids.indexOf(stored.id);
    if (at < 0)
        return { Reconcile::TakeFirst };
    // A stored index beyond the new list has nothing to trade with.
    if (at == stored.index || stored.index < 0 || stored.index >= ids.size())
        return {};
    return { Reconcile::Swap, at };
}

Reconcile reconcileAudio(const StoredDevice &stored, const QStringList &names)
{
    if (stored.index == -1)
        return {};
    if (names.isEmpty() || stored.index < 0 || stored.index >= names.size())
        return { Reconcile::Clear };
    if (names.at(stored.index) == stored.name)
        return {};
    const int at = names.indexOf(stored.name);
    if (at < 0)
        return { Reconcile::Clear };
    return { Reconcile::Swap, at };
}

QString endpointIdFor(const QString &name, const QList<platform::AudioEndpoint> &endpoints, bool microphone)
{
    static const QString external = QStringLiteral("外接");
    static const QString builtIn = QStringLiteral("内装");
    QString other;
    if (microphone) {
        if (name.contains(external))
            other = QString(name).replace(external, builtIn);
        else if (name.contains(builtIn))
            other = QString(name).replace(builtIn, external);
    }
    for (const platform::AudioEndpoint &endpoint : endpoints) {
        if (endpoint.friendlyName.contains(name) || (!other.isEmpty() && endpoint.friendlyName.contains(other)))
            return endpoint.id;
    }
    return {};
}

} // namespace lumira::device

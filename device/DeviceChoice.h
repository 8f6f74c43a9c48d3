#pragma once

#include "platform/AudioEndpoints.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lumira::device
{

// A device choice as the settings store keeps it.
struct StoredDevice {
    int index = -1;
    QString name;
    QString id;
    bool operator==(const StoredDevice &other) const
    {
        return index == other.index && name == other.name && id == other.id;
    }
};

// What a fresh enumeration does to the stored choice so that the stored
// device stays at its stored index.
struct Reconcile {
    enum Action {
        Keep, // the stored choice stands as it is
        Clear, // store index -1, empty name and id
        TakeFirst, // store index 0 with the first entry's name and id
        Swap, // the entry at `from` and the one at the stored index trade places
    };
    Action action = Keep;
    int from = -1;
};

// Cameras are recognised by id.
Reconcile reconcileCamera(const StoredDevice &stored, const QStringList &ids);
// Microphones and speakers are recognised by name.
Reconcile reconcileAudio(const StoredDevice &stored, const QStringList &names);

// Applies a Swap to parallel lists.
template <typename List>
void swapEntries(List &list, int a, int b)
{
    if (a >= 0 && b >= 0 && a < list.size() && b < list.size())
        list.swapItemsAt(a, b);
}

// The id of the first endpoint whose friendly name contains `name`; empty when
// none does. Microphones also match the other spelling of their kind
// ("外接" external / "内装" built-in), which the two Windows lists spell
// differently.
QString endpointIdFor(const QString &name, const QList<platform::AudioEndpoint> &endpoints, bool microphone);

} // namespace lumira::device

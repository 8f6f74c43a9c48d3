#pragma once
// The streams the lock screen muted, written for the lock companion: should
// the client end while the desktop is locked, the companion unmutes exactly
// these. Shared by the client and the companion, so Qt Core only.
#include "platform/OtherSound.h"

#include <QString>
#include <QVector>

namespace lumira::lockrecord
{

struct Record {
    qint64 clientPid = 0;
    QVector<platform::PlaybackStream> muted;
};

// Replaces the file as a whole (never a half-written one); false on failure.
bool write(const QString &path, const Record &record);
// False, with `error` saying why, for a missing, unreadable or malformed file.
bool read(const QString &path, Record *record, QString *error);

} // namespace lumira::lockrecord

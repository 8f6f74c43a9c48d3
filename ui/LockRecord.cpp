#include "ui/LockRecord.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace lumira::lockrecord
{

bool write(const QString &path, const Record &record)
{
    QJsonArray streams;
    for (const platform::PlaybackStream &s : record.muted)
        streams.append(QJsonObject { { QStringLiteral("id"), s.id }, { QStringLiteral("pid"), double(s.pid) },
            { QStringLiteral("name"), s.name } });
    const QJsonObject root { { QStringLiteral("clientPid"), double(record.clientPid) },
        { QStringLiteral("muted"), streams } };
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) >= 0
        && file.commit();
}

bool read(const QString &path, Record *record, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open ") + path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    // The record is a few streams; anything far larger is not ours.
    const QByteArray raw = file.read(1 << 20);
    QJsonParseError parse {};
    const QJsonDocument doc = QJsonDocument::fromJson(raw, &parse);
    const QJsonObject root = doc.object();
    if (parse.error != QJsonParseError::NoError || !root.value(QStringLiteral("muted")).isArray()) {
        *error = QStringLiteral("malformed record ") + path;
        return false;
    }
    record->clientPid = qint64(root.value(QStringLiteral("clientPid")).toDouble());
    record->muted.clear();
    for (const QJsonValue &v : root.value(QStringLiteral("muted")).toArray()) {
        const QJsonObject s = v.toObject();
        const QString id = s.value(QStringLiteral("id")).toString();
        const qint64 pid = qint64(s.value(QStringLiteral("pid")).toDouble());
        if (id.isEmpty() || pid <= 0)
            continue; // a stream without its process cannot be told from a newer one
        record->muted.append({ id, pid, s.value(QStringLiteral("name")).toString() });
    }
    return true;
}

} // namespace lumira::lockrecord

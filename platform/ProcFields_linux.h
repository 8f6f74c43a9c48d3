#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

namespace lumira::platform
{

// The "Key:   123 kB" fields of a /proc file's text (meminfo, status), in bytes.
inline QHash<QByteArray, quint64> procKbFields(const QByteArray &text)
{
    QHash<QByteArray, quint64> fields;
    for (const QByteArray &line : text.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        bool ok = false;
        const quint64 kb = line.mid(colon + 1).simplified().split(' ').value(0).toULongLong(&ok);
        if (ok)
            fields.insert(line.left(colon), kb * 1024u);
    }
    return fields;
}

} // namespace lumira::platform

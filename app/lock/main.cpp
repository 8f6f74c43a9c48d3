// lumira_lock: started by the client when it locks the desktop, killed by
// name when it unlocks. In between it waits for the client to end; should the
// client end while still locked (a crash, a kill), it undoes what would
// otherwise outlast it: other programs' streams stay muted, and on Windows
// the taskbar preview stays off. The keys the client captured are freed by
// the system with the client itself.
//
//   lumira_lock --watch <client pid> --record <muted streams file>
#include "platform/AeroPeek.h"
#include "platform/OtherSound.h"
#include "platform/ProcessWatch.h"
#include "ui/LockRecord.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>

namespace
{

void say(const QString &text) { std::fprintf(stderr, "lumira_lock: %s\n", text.toLocal8Bit().constData()); }

} // namespace

int main(int argc, char **argv)
{
    qint64 client = 0;
    QString recordPath;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--watch") == 0)
            client = QByteArray(argv[i + 1]).toLongLong();
        else if (std::strcmp(argv[i], "--record") == 0)
            recordPath = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (client <= 0 || recordPath.isEmpty()) {
        say(QStringLiteral("usage: lumira_lock --watch <pid> --record <file>"));
        return 2;
    }
    if (!lumira::platform::waitForProcessExit(client)) {
        say(QStringLiteral("cannot watch process %1").arg(client));
        return 1;
    }

    lumira::platform::setAeroPeek(true);
    lumira::lockrecord::Record record;
    QString error;
    if (!lumira::lockrecord::read(recordPath, &record, &error)) {
        say(error); // nothing was muted, or the record is not ours to act on
        return 0;
    }
    if (record.clientPid != client) {
        say(QStringLiteral("record of process %1, not %2: left alone").arg(record.clientPid).arg(client));
        return 0;
    }
    const int unmuted = lumira::platform::setStreamsMuted(record.muted, false);
    say(QStringLiteral("client %1 ended while locked: unmuted %2 of %3 streams")
            .arg(client)
            .arg(unmuted)
            .arg(record.muted.size()));
    if (unmuted >= 0)
        QFile::remove(recordPath);
    return 0;
}

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimeZone>

// A clock for dating uploaded logs: asks an NTP server once over SNTP when
// created, keeps the difference to the local clock and afterwards hands out
// the local clock corrected by it, in the "Asia/Shanghai" zone. Without an
// answer it falls back to the local clock. Creation blocks the caller for at
// most about two seconds; runs on its caller's thread.
class TimeSetting : public QObject
{
    Q_OBJECT
public:
    static constexpr int kConnectWaitMs = 1000;
    static constexpr int kReplyWaitMs = 1000;
    // Seconds from 1900-01-01 to 1970-01-01.
    static constexpr quint32 kNtpToUnix = 2208988800u;

    // The deployment's NTP server.
    static TimeSetting *instance();
    TimeSetting(const QString &host, quint16 port, QObject *parent = nullptr);

    bool synced() const { return m_synced; }
    int diff() const { return m_diff; }
    quint32 netTime() const { return m_netTime; }
    quint32 lastTime() const { return m_lastTime; }
    QString status() const { return m_status; }
    QDateTime currentTime();

    // The 48-byte client request, its transmit time `ntpSeconds` (since 1900).
    static QByteArray request(quint32 ntpSeconds);
    // The server's seconds since 1900 from a reply; false for one that is no
    // usable server answer.
    static bool parseReply(const QByteArray &reply, quint32 &ntpSeconds);

private:
    bool queryNetworkTime(const QString &host, quint16 port);

    bool m_synced = false;
    QTimeZone m_timeZone;
    quint32 m_netTime = 0;
    int m_diff = 0;
    quint32 m_lastTime = 0;
    QString m_status;
};

#include "diag/TimeSetting.h"

#include "BuildConfig.h"
#include "app/TSpdlog.h"

#include <QDebug>
#include <QUdpSocket>
#include <QtEndian>

TimeSetting *TimeSetting::instance()
{
    static auto *clock
        = new TimeSetting(QString::fromLatin1(lumira::build::kNtpHost), quint16(lumira::build::kNtpPort));
    return clock;
}

TimeSetting::TimeSetting(const QString &host, quint16 port, QObject *parent)
    : QObject(parent)
    , m_timeZone(QByteArrayLiteral("Asia/Shanghai"))
{
    // A system without the zone database still gets the zone's fixed offset.
    if (!m_timeZone.isValid())
        m_timeZone = QTimeZone(8 * 3600);
    if (queryNetworkTime(host, port)) {
        m_diff = int(qint64(m_netTime) - QDateTime::currentSecsSinceEpoch());
        qDebug().noquote()
            << QStringLiteral("Synchronize network time successfully!!,diff_timesnap(utc-local) is %1").arg(m_diff);
    } else {
        qDebug() << "Warning:Synchronize network time fail,Time may not be accurate!!";
    }
    if (m_synced)
        m_status = QStringLiteral("windows: localtime is %1 , net time is %2")
                       .arg(QDateTime::currentDateTime().toString(Qt::TextDate), currentTime().toString(Qt::TextDate));
    else
        m_status = QStringLiteral("get net time failed!!");
}

QDateTime TimeSetting::currentTime()
{
    if (!m_synced)
        return QDateTime::currentDateTime();
    const qint64 t = QDateTime::currentSecsSinceEpoch() + m_diff;
    m_lastTime = quint32(t);
    return QDateTime::fromSecsSinceEpoch(t, m_timeZone);
}

QByteArray TimeSetting::request(quint32 ntpSeconds)
{
    QByteArray bytes(48, '\0');
    bytes[0] = char(0x1B); // leap indicator 0, version 3, mode 3 (client)
    bytes[1] = 0; // stratum
    bytes[2] = 4; // poll
    bytes[3] = char(0xFA); // precision -6
    bytes[5] = 1; // root delay
    bytes[9] = 1; // root dispersion
    qToBigEndian(ntpSeconds, reinterpret_cast<uchar *>(bytes.data() + 40));
    return bytes;
}

bool TimeSetting::parseReply(const QByteArray &reply, quint32 &ntpSeconds)
{
    // The transmit time is the last 8 bytes of a 48-byte answer. Anything
    // shorter, not from a server (mode 4), from an unsynchronised server
    // (leap indicator 3) or a "kiss of death" (stratum 0), or without a
    // time, would set the clock wrong and is refused.
    if (reply.size() < 48)
        return false;
    const auto *data = reinterpret_cast<const uchar *>(reply.constData());
    const int leap = data[0] >> 6;
    const int mode = data[0] & 0x7;
    const int stratum = data[1];
    if (mode != 4 || leap == 3 || stratum == 0 || stratum > 15)
        return false;
    ntpSeconds = qFromBigEndian<quint32>(data + reply.size() - 8);
    return ntpSeconds > kNtpToUnix;
}

bool TimeSetting::queryNetworkTime(const QString &host, quint16 port)
{
    QUdpSocket socket;
    socket.connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    if (!socket.waitForConnected(kConnectWaitMs)) {
        TSpdlog::instance()->otherWarn(QStringLiteral("network time: no connection to %1:%2").arg(host).arg(port));
        return false;
    }
    const quint32 now = quint32(QDateTime::currentSecsSinceEpoch() + kNtpToUnix);
    socket.flush();
    socket.write(request(now));
    socket.flush();
    if (!socket.waitForReadyRead(kReplyWaitMs)) {
        TSpdlog::instance()->otherWarn(QStringLiteral("network time: no answer from %1:%2").arg(host).arg(port));
        return false;
    }
    QByteArray last;
    while (socket.hasPendingDatagrams()) {
        last.resize(int(qMax<qint64>(0, socket.pendingDatagramSize())));
        if (socket.readDatagram(last.data(), last.size()) < 0)
            last.clear();
    }
    quint32 serverSeconds = 0;
    if (!parseReply(last, serverSeconds)) {
        TSpdlog::instance()->otherWarn(
            QStringLiteral("network time: unusable answer of %1 bytes from %2").arg(last.size()).arg(host));
        return false;
    }
    m_netTime = serverSeconds - kNtpToUnix;
    m_synced = true;
    return true;
}

#pragma once
// Shared by the object storage tests: data, the dev service's test switches,
// raw signed requests, and a store process a test may kill and restart.
#include "BrowserHarness.h"
#include "TestEnv.h"

#include "net/LMRAosController.h"
#include "net/oss/OssClient.h"
#include "net/oss/OssWire.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace osstest
{

const QByteArray kKeyId = LUMIRA_OSS_KEY_ID;
const QByteArray kSecret = LUMIRA_OSS_KEY_SECRET;
const QString kBucket = QStringLiteral("lumira-files");

inline QByteArray randomBytes(qint64 size)
{
    QByteArray data(int(size), Qt::Uninitialized);
    auto *words = reinterpret_cast<quint32 *>(data.data());
    QRandomGenerator generator(quint32(size % 100000));
    generator.fillRange(words, data.size() / 4);
    return data;
}

inline QString writeFile(const QString &name, const QByteArray &data)
{
    const QString path = testenv::sandboxRoot() + QLatin1Char('/') + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(data);
    return path;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray md5(const QByteArray &data) { return QCryptographicHash::hash(data, QCryptographicHash::Md5); }

// Files under `dir` whose name contains `part`, at any depth.
inline QStringList filesNamed(const QString &dir, const QString &part)
{
    QStringList found;
    QDirIterator walk(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        if (QFileInfo(path).fileName().contains(part))
            found << path;
    }
    return found;
}

// A request to the development service's own test routes.
inline QByteArray devCall(const QString &baseUrl, const QByteArray &verb, const QString &path)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(baseUrl + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
    QNetworkReply *reply = verb == "GET" ? manager.get(request) : manager.post(request, QByteArray());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}

// Tells the development service to misbehave on one route (see StoreFaults.h).
inline void fault(const harness::DevService &service, const QString &query)
{
    devCall(service.baseUrl(), "POST", QStringLiteral("/dev/fault") + query);
}

inline void clearFaults(const harness::DevService &service)
{
    devCall(service.baseUrl(), "POST", QStringLiteral("/dev/fault/clear"));
}

// Store requests received since the last clear, by kind ("part", "complete").
inline int requests(const QString &baseUrl, const QString &kind)
{
    for (const QByteArray &line : devCall(baseUrl, "GET", QStringLiteral("/dev/counts")).split('\n'))
        if (line.startsWith(kind.toLatin1() + ' '))
            return line.mid(kind.size() + 1).toInt();
    return 0;
}

// An answer read off the socket as it came.
struct RawReply {
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;
    QString code() const { return oss::xmlValue(body, QStringLiteral("Code")); }
};

// Exactly these bytes, target as written: what a hostile client would send.
inline RawReply rawRequest(int port, const QByteArray &verb, const QByteArray &target,
    const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &body = QByteArray())
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    RawReply reply;
    if (!socket.waitForConnected(5000))
        return reply;
    QByteArray request = verb + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
        + "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const auto &header : headers)
        request += header.first + ": " + header.second + "\r\n";
    socket.write(request + "\r\n" + body);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    answer += socket.readAll();
    const int end = answer.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = answer.left(end).split('\n');
    if (end < 0 || lines.isEmpty())
        return reply;
    reply.status = lines[0].split(' ').value(1).toInt();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            reply.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    reply.body = answer.mid(end + 4);
    return reply;
}

// Signed with the client's signer over `resource` (maybe wrong on purpose).
struct Signed {
    QByteArray verb = "GET";
    QByteArray target; // as sent
    QByteArray resource; // as signed
    QByteArray contentType;
    QByteArray body;
    bool md5 = false;
    QByteArray date = oss::httpDate();
    oss::HeaderList ossHeaders; // sent and signed
    oss::HeaderList signedOnly; // signed, not sent
    RawReply send(int port) const
    {
        const QByteArray contentMd5 = md5 ? osstest::md5(body).toBase64() : QByteArray();
        QList<QPair<QByteArray, QByteArray>> headers = { { "Date", date } };
        if (!contentType.isEmpty())
            headers << qMakePair(QByteArray("Content-Type"), contentType);
        if (!contentMd5.isEmpty())
            headers << qMakePair(QByteArray("Content-MD5"), contentMd5);
        headers += ossHeaders;
        headers << qMakePair(QByteArray("Authorization"),
            oss::authorization(kKeyId, kSecret,
                oss::stringToSign(verb, contentMd5, contentType, date, ossHeaders + signedOnly, resource)));
        return rawRequest(port, verb, target, headers, body);
    }
};

// Every call a receiver gets, in order.
struct Receiver : LMRAosInterface {
    void onAosProgress(QString comId, qlonglong progress) override { progress_.append({ comId, progress }); }
    void onAosEffect(QString comId, QString effect) override { effects.append({ comId, effect }); }
    QList<QPair<QString, qlonglong>> progress_;
    QList<QPair<QString, QString>> effects;
};

class Store : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        client = std::make_unique<oss::OssClient>(service.ossEndpoint(), kKeyId, kSecret);
        client->CreateBucket(kBucket);
        clearFaults(service);
    }
    LMRAosSettings settings() const { return service.aosSettings(); }
    int count(const QString &kind) const { return requests(service.baseUrl(), kind); }
    QString stored(const QString &key) const { return service.ossDir + QStringLiteral("/lumira-files/") + key; }
    void refault(const QString &query) const
    {
        clearFaults(service);
        fault(service, query);
    }
    harness::DevService service;
    std::unique_ptr<oss::OssClient> client;
};

// A dev service on ports and a folder that outlive it, to kill and restart.
class StoreProcess
{
public:
    explicit StoreProcess(const QString &folder = testenv::sandboxRoot() + QStringLiteral("/killed-store"))
        : port(harness::freePort())
        , ossPort(harness::freePort())
        , tlsPort(harness::freePort())
        , dir(folder)
    {
    }
    ~StoreProcess() { stop(); }
    bool start()
    {
        m_process.start(QStringLiteral(LUMIRA_BIN_DIR "/lumira_devservice"),
            QStringList { "--port", QString::number(port), "--oss-port", QString::number(ossPort), "--tls-port",
                QString::number(tlsPort), "--oss-dir", dir }
                + extraArgs);
        return m_process.waitForReadyRead(10000) && m_process.readAllStandardOutput().contains("listening");
    }
    void kill()
    {
        m_process.kill(); // SIGKILL: nothing is finished off
        m_process.waitForFinished(5000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QString endpoint() const { return QStringLiteral("http://127.0.0.1:%1").arg(ossPort); }
    int port, ossPort, tlsPort;
    QString dir;
    QStringList extraArgs;

private:
    QProcess m_process;
};

} // namespace osstest

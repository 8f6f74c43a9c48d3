// Upload speed to the development object store, as a timed tool:
//   bench_oss [megabytes]   (default 100)
// Our resumable upload (8 MiB parts, 4 threads) against a plain signed `curl`
// PUT of the same file, both to the same local store in the same run.
#include "net/oss/OssClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>

#include <cstdio>

namespace
{

int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = app.arguments().value(1, QStringLiteral("100")).toLongLong();
    QTemporaryDir dir;
    const int port = freePort(), ossPort = freePort(), tlsPort = freePort();
    QProcess service;
    service.start(QStringLiteral(LUMIRA_BIN_DIR "/lumira_devservice"),
        { "--port", QString::number(port), "--oss-port", QString::number(ossPort), "--tls-port",
            QString::number(tlsPort), "--oss-dir", dir.path() + "/store" });
    if (!service.waitForReadyRead(10000)) {
        std::fprintf(stderr, "development service did not start\n");
        return 1;
    }
    const QString endpoint = QStringLiteral("http://127.0.0.1:%1").arg(ossPort);
    oss::OssClient client(endpoint, LUMIRA_OSS_KEY_ID, LUMIRA_OSS_KEY_SECRET);
    client.CreateBucket("bench");

    const QString path = dir.path() + "/upload.bin";
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (qint64 i = 0; i < megabytes; ++i) {
            QRandomGenerator(quint32(i)).fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
            file.write(chunk);
        }
    }

    double ours = 0, curl = 0;
    for (int round = 0; round < 2; ++round) { // the second round counts: caches warm for both
        QElapsedTimer timer;
        timer.start();
        oss::UploadObjectRequest request("bench", "ours.bin", path, QString(), oss::kDefaultPartSize, 4);
        if (!client.ResumableUploadObject(request).ok) {
            std::fprintf(stderr, "upload failed\n");
            return 1;
        }
        ours = double(timer.nsecsElapsed()) / 1e9;

        const QByteArray date = oss::httpDate();
        const QByteArray auth = oss::authorization(LUMIRA_OSS_KEY_ID, LUMIRA_OSS_KEY_SECRET,
            oss::stringToSign(
                "PUT", "", "application/octet-stream", date, {}, oss::canonicalizedResource("bench", "curl.bin", {})));
        timer.restart();
        QProcess put;
        put.start("curl",
            { "-s", "-f", "-o", "/dev/null", "-X", "PUT", "-H", "Date: " + QString::fromLatin1(date), "-H",
                "Content-Type: application/octet-stream", "-H", "Expect:", "-H",
                "Authorization: " + QString::fromLatin1(auth), "--data-binary", "@" + path,
                endpoint + "/bench/curl.bin" });
        if (!put.waitForFinished(-1) || put.exitCode() != 0) {
            std::fprintf(stderr, "curl failed: %d\n", put.exitCode());
            return 1;
        }
        curl = double(timer.nsecsElapsed()) / 1e9;
    }
    service.terminate();
    service.waitForFinished(5000);
    std::printf("upload of %lld MiB to the local store\n", megabytes);
    std::printf("  resumable upload, 8 MiB parts x 4 threads  %.2f s  (%.0f MiB/s)\n", ours, megabytes / ours);
    std::printf("  curl, one signed PUT                     %.2f s  (%.0f MiB/s)\n", curl, megabytes / curl);
    std::printf("  ours / curl speed                        %.2f (target >= 0.7)\n", curl / ours);
    return 0;
}

// Object storage: the V1 signature against the provider's documented example,
// our client against the development service's store (signatures checked,
// real files, injected faults), and the transfer workers with their receivers.
#include "BrowserHarness.h"
#include "GTestMain.h"
#include "TestEnv.h"

#include "net/LMRAosController.h"
#include "net/oss/OssClient.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

using testenv::waitUntil;

namespace
{

const QByteArray kKeyId = LUMIRA_OSS_KEY_ID;
const QByteArray kSecret = LUMIRA_OSS_KEY_SECRET;
const QString kBucket = QStringLiteral("lumira-files");

QByteArray randomBytes(qint64 size)
{
    QByteArray data(int(size), Qt::Uninitialized);
    auto *words = reinterpret_cast<quint32 *>(data.data());
    QRandomGenerator generator(quint32(size % 100000));
    generator.fillRange(words, data.size() / 4);
    return data;
}

QString writeFile(const QString &name, const QByteArray &data)
{
    const QString path = testenv::sandboxRoot() + QLatin1Char('/') + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(data);
    return path;
}

QByteArray md5(const QByteArray &data) { return QCryptographicHash::hash(data, QCryptographicHash::Md5); }

// Tells the development service to misbehave on one route.
void fault(const harness::DevService &service, const QString &query)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(service.baseUrl() + QStringLiteral("/dev/fault") + query));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
    QNetworkReply *reply = manager.post(request, QByteArray());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    delete reply;
}

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
    }
    LMRAosSettings settings() const { return service.aosSettings(); }
    harness::DevService service;
    std::unique_ptr<oss::OssClient> client;
};

} // namespace

TEST(OssSignature, MatchesTheProvidersWorkedExample)
{
    // The example of the provider's "V1 signature in the Authorization header" page.
    const oss::HeaderList headers = { { "X-OSS-Meta-Author", "foo@bar.com" }, { "X-OSS-Magic", "abracadabra" } };
    const QByteArray text = oss::stringToSign("PUT", "ODBGOERFMDMzQTczRUY3NUE3NzA5QzdFNUYzMDQxNEM=", "text/html",
        "Thu, 17 Nov 2005 18:49:58 GMT", headers, oss::canonicalizedResource("oss-example", "nelson", {}));
    EXPECT_EQ(text,
        "PUT\nODBGOERFMDMzQTczRUY3NUE3NzA5QzdFNUYzMDQxNEM=\ntext/html\nThu, 17 Nov 2005 18:49:58 GMT\n"
        "x-oss-magic:abracadabra\nx-oss-meta-author:foo@bar.com\n/oss-example/nelson");
    EXPECT_EQ(oss::authorization("44CF9590006BF252F707", "OtxrzxIsfpFjA7SwPzILwy8Bw21TLhquhboDYROV", text),
        "OSS 44CF9590006BF252F707:26NBxoKdsyly4EDv6inkoDft/yA=");

    // Signed sub-resources are sorted and kept; other query items are not signed.
    EXPECT_EQ(oss::canonicalizedResource(
                  "b", "k", { { "uploadId", "U1" }, { "partNumber", "3" }, { "prefix", "x" }, { "uploads", "" } }),
        "/b/k?partNumber=3&uploadId=U1&uploads");
    EXPECT_EQ(oss::canonicalizedResource("b", "", { { "delete", "" } }), "/b/?delete");
}

TEST_F(Store, ObjectsGoInComeOutAndAreListedAndDeleted)
{
    const QByteArray small = "hello object store";
    ASSERT_TRUE(client->PutObject(kBucket, "dir/a.txt", small).ok);
    ASSERT_TRUE(client->PutObject(kBucket, "dir/b.txt", small + small).ok);
    ASSERT_TRUE(client->PutObject(kBucket, "other/c.txt", "c").ok);
    EXPECT_TRUE(client->DoesObjectExist(kBucket, "dir/a.txt"));
    EXPECT_FALSE(client->DoesObjectExist(kBucket, "dir/none.txt"));
    EXPECT_EQ(oss::OssClient::contentLength(client->HeadObject(kBucket, "dir/b.txt")), 2 * small.size());

    const oss::ListObjectsOutcome listing = client->ListObjects(kBucket, "dir/");
    ASSERT_TRUE(listing.ok);
    ASSERT_EQ(listing.objects.size(), 2);
    EXPECT_EQ(listing.objects[0].key, "dir/a.txt");
    EXPECT_EQ(listing.objects[1].size, 2 * small.size());

    // A multi-threaded download in small parts puts every range in its place.
    const QByteArray big = randomBytes(3 * 1024 * 1024 + 12345);
    ASSERT_TRUE(client->PutObject(kBucket, "big.bin", big).ok);
    oss::DownloadObjectRequest request(
        kBucket, "big.bin", testenv::sandboxRoot() + "/big.out", QString(), 256 * 1024, 4);
    qint64 last = 0;
    std::mutex lock;
    request.progress = [&](qint64, qint64 transferred, qint64 total) {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_GE(transferred, last);
        EXPECT_EQ(total, big.size());
        last = transferred;
    };
    ASSERT_TRUE(client->ResumableDownloadObject(request).ok);
    QFile out(request.filePath);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(md5(out.readAll()), md5(big));
    EXPECT_EQ(last, big.size());
    EXPECT_FALSE(QFile::exists(request.filePath + ".download"));

    ASSERT_TRUE(client->DeleteObjects(kBucket, { "dir/a.txt", "dir/b.txt" }).ok);
    EXPECT_TRUE(client->ListObjects(kBucket, "dir/").objects.isEmpty());
    EXPECT_TRUE(client->DoesObjectExist(kBucket, "other/c.txt"));
    EXPECT_FALSE(client->ResumableDownloadObject({ kBucket, "missing", testenv::sandboxRoot() + "/m" }).ok);
    EXPECT_FALSE(QFile::exists(testenv::sandboxRoot() + "/m"));
}

TEST_F(Store, AWrongSecretIsRefusedAndNotRetried)
{
    oss::OssClient wrong(service.ossEndpoint(), kKeyId, "not-the-secret-not-the-secret0");
    const oss::Outcome outcome = wrong.PutObject(kBucket, "x.txt", "x");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.status, 403);
    EXPECT_EQ(outcome.error, "SignatureDoesNotMatch");
    oss::OssClient stranger(service.ossEndpoint(), "SomeoneElse00000", kSecret);
    EXPECT_EQ(stranger.PutObject(kBucket, "x.txt", "x").error, "InvalidAccessKeyId");
    EXPECT_FALSE(client->DoesObjectExist(kBucket, "x.txt"));
}

TEST_F(Store, AFortyMegabyteMultipartUploadSurvivesAResetMidPart)
{
    const QByteArray data = randomBytes(40 * 1024 * 1024);
    const QString path = writeFile("forty.bin", data);
    fault(service, "?route=oss&kind=reset&count=1&only=part");
    oss::UploadObjectRequest request(kBucket, "forty.bin", path, QString(), oss::kDefaultPartSize, 4);
    qint64 last = 0;
    std::mutex lock;
    request.progress = [&](qint64 increment, qint64 transferred, qint64 total) {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_GT(increment, 0);
        EXPECT_GE(transferred, last);
        EXPECT_EQ(total, data.size());
        last = transferred;
    };
    const oss::Outcome outcome = client->ResumableUploadObject(request);
    ASSERT_TRUE(outcome.ok) << outcome.error.toStdString();
    EXPECT_EQ(last, data.size());
    QFile stored(service.ossDir + "/lumira-files/forty.bin");
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(md5(stored.readAll()), md5(data));
}

TEST_F(Store, WorkersReportToEveryReceiver)
{
    LMRAosController aos(settings());
    Receiver first, second;
    aos.registerReceiver(&first);
    aos.registerReceiver(&second);

    // An empty file: one empty result each, and no progress.
    const QString empty = writeFile("empty.mp3", QByteArray());
    aos.uploadFile("e|1", "true", kBucket, "empty.mp3", "file://" + empty);
    ASSERT_TRUE(waitUntil([&] { return first.effects.size() == 1 && aos.runningWorkers() == 0; }));
    EXPECT_EQ(first.effects[0], qMakePair(QString("e|1"), QString()));
    EXPECT_EQ(second.effects, first.effects);
    EXPECT_TRUE(first.progress_.isEmpty());

    // A real upload: each percentage once, 100 last, under its com_id.
    LMRAos::resetProgress();
    const QByteArray data = randomBytes(20 * 1024 * 1024);
    const QString path = writeFile("twenty.mp3", data);
    aos.uploadFile("u|1", "true", kBucket, "pc/twenty.mp3", "file://" + path);
    ASSERT_TRUE(waitUntil([&] { return first.effects.size() == 2; }, 60000));
    const QString url = first.effects[1].second;
    EXPECT_EQ(url, "http://lumira-files." + service.ossEndpoint().mid(7) + "/pc/twenty.mp3");
    ASSERT_FALSE(first.progress_.isEmpty());
    QList<qlonglong> seen;
    for (const auto &p : first.progress_) {
        EXPECT_EQ(p.first, "u|1");
        EXPECT_FALSE(seen.contains(p.second)) << "percent " << p.second << " twice";
        seen << p.second;
    }
    EXPECT_EQ(seen.last(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(second.progress_, first.progress_);

    // The other calls of the workers.
    aos.downloadFile("d|1", "true", kBucket, "pc/twenty.mp3", "file://" + testenv::sandboxRoot() + "/back.mp3");
    ASSERT_TRUE(waitUntil([&] { return first.effects.size() == 3; }, 60000));
    EXPECT_EQ(first.effects[2].second, "succeed");
    QFile back(testenv::sandboxRoot() + "/back.mp3");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(md5(back.readAll()), md5(data));

    auto buffer = std::make_shared<std::stringstream>();
    *buffer << "screenshot bytes";
    aos.uploadBuffer("b|1", kBucket, "shots/one.png", buffer);
    ASSERT_TRUE(waitUntil([&] { return first.effects.size() == 4; }));
    EXPECT_TRUE(first.effects[3].second.endsWith("/shots/one.png"));
    EXPECT_EQ(oss::OssClient::contentLength(client->HeadObject(kBucket, "shots/one.png")), 16);

    aos.downloadFile("d|2", "false", kBucket, "no/such.mp3", testenv::sandboxRoot() + "/none.mp3");
    ASSERT_TRUE(waitUntil([&] { return first.effects.size() == 5; }));
    EXPECT_EQ(first.effects[4].second, QString());
    EXPECT_EQ(aos.runningWorkers(), 0);
}

TEST_F(Store, TwoUploadsAtOnceAndTheFormUpload)
{
    LMRAosController aos(settings());
    Receiver receiver;
    aos.registerReceiver(&receiver);
    const QString a = writeFile("a.mp3", randomBytes(12 * 1024 * 1024));
    const QString b = writeFile("b.mp3", randomBytes(9 * 1024 * 1024));
    aos.uploadFile("c|a", "true", kBucket, "two/a.mp3", a);
    aos.uploadFile("c|b", "true", kBucket, "two/b.mp3", b, true); // through the acceleration host
    ASSERT_TRUE(waitUntil([&] { return receiver.effects.size() == 2; }, 60000));
    for (const auto &effect : receiver.effects)
        EXPECT_TRUE(effect.second.startsWith("http://lumira-files.127.0.0.1:")) << effect.second.toStdString();
    EXPECT_EQ(oss::OssClient::contentLength(client->HeadObject(kBucket, "two/a.mp3")), 12 * 1024 * 1024);
    EXPECT_EQ(oss::OssClient::contentLength(client->HeadObject(kBucket, "two/b.mp3")), 9 * 1024 * 1024);

    // The service's own form upload answers with its data field.
    aos.postFile("p|1", kBucket, "form/a.mp3", a);
    ASSERT_TRUE(waitUntil([&] { return receiver.effects.size() == 3; }, 30000));
    EXPECT_TRUE(receiver.effects[2].second.endsWith("/form/a.mp3"));
    EXPECT_EQ(QFileInfo(service.ossDir + "/lumira-files/form/a.mp3").size(), 12 * 1024 * 1024);
    fault(service, "?route=form&kind=retcode&count=1");
    aos.postFile("p|2", kBucket, "form/b.mp3", b);
    ASSERT_TRUE(waitUntil([&] { return receiver.effects.size() == 4; }, 30000));
    EXPECT_EQ(receiver.effects[3].second, QString());
    EXPECT_TRUE(harness::logText().contains(QStringLiteral("RequestPostFileAtOSS：服务器上传失败 ")));
    aos.postFile("p|3", kBucket, "form/none.mp3", testenv::sandboxRoot() + "/none.mp3");
    ASSERT_TRUE(waitUntil([&] { return receiver.effects.size() == 5; }));
    EXPECT_TRUE(harness::logText().contains(QStringLiteral("RequestPostFileAtOSS：文件不存在或文件大小为0")));
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("oss");
    return testenv::runGoogleTests(argc, argv, "LMRApp_test.log");
}

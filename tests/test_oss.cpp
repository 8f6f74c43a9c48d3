// Object storage: the V1 signature, our client against the development store
// with injected faults, and the workers. The store itself: test_oss_store.cpp.
#include "GTestMain.h"
#include "OssTestSupport.h"

#include <QCoreApplication>

#include <mutex>
#include <sstream>

using namespace osstest;
using testenv::waitUntil;

TEST(OssSignature, MatchesTheProvidersWorkedExample)
{
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
    EXPECT_EQ(md5(readFile(request.filePath)), md5(big));
    EXPECT_EQ(last, big.size());
    EXPECT_TRUE(filesNamed(testenv::sandboxRoot(), ".download").isEmpty());

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
    EXPECT_EQ(md5(readFile(stored("forty.bin"))), md5(data));
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
    EXPECT_EQ(md5(readFile(testenv::sandboxRoot() + "/back.mp3")), md5(data));

    auto buffer = std::make_shared<std::stringstream>();
    *buffer << "screenshot bytes";
    aos.uploadBuffer("b|1", kBucket, "shots/one.png", buffer);
    ASSERT_TRUE(waitUntil([&] { return first.effects.size() == 4; }));
    EXPECT_TRUE(first.effects[3].second.endsWith("/shots/one.png"));
    EXPECT_EQ(oss::OssClient::contentLength(client->HeadObject(kBucket, "shots/one.png")), 16);

    aos.downloadFile("d|2", "false", kBucket, "no/such.mp3", testenv::sandboxRoot() + "/none.mp3");
    ASSERT_TRUE(waitUntil([&] { return first.effects.size() == 5; }));
    EXPECT_EQ(first.effects[4].second, QString());
    // The result is queued to the receivers before the worker ends itself.
    EXPECT_TRUE(waitUntil([&] { return aos.runningWorkers() == 0; }));
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

TEST(OssWire, Crc64IsTheStoresChecksum)
{
    // The standard check value of CRC-64/XZ, which the store's header carries.
    oss::Crc64 crc;
    crc.update("123456789", 9);
    EXPECT_EQ(crc.value(), Q_UINT64_C(0x995DC9BBDF1939FA));
    oss::Crc64 split; // in pieces, as downloads feed it
    split.update("1234", 4);
    split.update("56789", 5);
    EXPECT_EQ(split.value(), crc.value());

    const QByteArray digest = md5("abc");
    EXPECT_TRUE(oss::etagMatches("\"900150983CD24FB0D6963F7D28E17F72\"", digest));
    EXPECT_TRUE(oss::etagMatches("900150983cd24fb0d6963f7d28e17f72", digest));
    EXPECT_FALSE(oss::etagMatches("\"900150983CD24FB0D6963F7D28E17F7\"", digest));
    EXPECT_FALSE(oss::etagMatches("", digest));
    qint64 length = 0;
    EXPECT_FALSE(oss::parseLength("", length));
    EXPECT_FALSE(oss::parseLength("-1", length));
    EXPECT_FALSE(oss::parseLength("12abc", length));
    EXPECT_FALSE(oss::parseLength("999999999999999999", length)); // more than any object
    EXPECT_TRUE(oss::parseLength(" 42 ", length));
    EXPECT_EQ(length, 42);
}

// A wrong ETag is retried; a body changed on the way never counts as stored.
TEST_F(Store, UploadsAreCheckedByTheirEtags)
{
    const QByteArray data = randomBytes(1024 * 1024 + 17);
    const QString path = writeFile("etag.bin", data);
    oss::UploadObjectRequest request(kBucket, "etag.bin", path, QString(), 256 * 1024, 2);

    fault(service, "?route=oss&kind=etag&count=1&only=part");
    ASSERT_TRUE(client->ResumableUploadObject(request).ok);
    EXPECT_EQ(md5(readFile(stored("etag.bin"))), md5(data));
    EXPECT_EQ(count("part"), 5 + 1); // four parts and a bit, one twice

    // Changed on the way every time: fails, parts dropped, no object.
    refault("?route=oss&kind=corrupt&only=part");
    request.key = "corrupt.bin";
    const oss::Outcome corrupt = client->ResumableUploadObject(request);
    EXPECT_FALSE(corrupt.ok);
    EXPECT_TRUE(corrupt.error.contains("ETag")) << corrupt.error.toStdString();
    EXPECT_EQ(count("abort"), 1);
    EXPECT_EQ(count("complete"), 0);
    EXPECT_FALSE(QFile::exists(stored("corrupt.bin")));
    EXPECT_TRUE(filesNamed(service.ossDir + "/.uploads", "part-").isEmpty());

    // A single PUT: retried once, or removed when it never comes out right.
    const QByteArray small = "a screenshot, say";
    fault(service, "?route=oss&kind=corrupt&count=1&only=put");
    ASSERT_TRUE(client->PutObject(kBucket, "shot.png", small).ok);
    EXPECT_EQ(readFile(stored("shot.png")), small);
    fault(service, "?route=oss&kind=corrupt&only=put");
    EXPECT_FALSE(client->PutObject(kBucket, "shot2.png", small).ok);
    EXPECT_FALSE(QFile::exists(stored("shot2.png")));
}

TEST_F(Store, CompleteIsAbortedOnFailureAndALostAnswerIsCheckedByHead)
{
    const QByteArray data = randomBytes(600 * 1024);
    const QString path = writeFile("complete.bin", data);
    oss::UploadObjectRequest request(kBucket, "lost.bin", path, QString(), 200 * 1024, 3);

    // Completed but the answer lost: the retry meets NoSuchUpload, HEAD finds it whole.
    fault(service, "?route=oss&kind=drop&count=1&only=complete");
    const oss::Outcome lost = client->ResumableUploadObject(request);
    ASSERT_TRUE(lost.ok) << lost.error.toStdString();
    EXPECT_EQ(count("complete"), 2);
    EXPECT_GE(count("head"), 1);
    EXPECT_EQ(count("abort"), 0);
    EXPECT_EQ(md5(readFile(stored("lost.bin"))), md5(data));

    // A Complete that keeps failing or answers garbage is aborted, leaving no object.
    for (const char *kind : { "500", "garbage" }) {
        refault(QStringLiteral("?route=oss&kind=%1&only=complete").arg(kind));
        request.key = QStringLiteral("failed-%1.bin").arg(kind);
        const oss::Outcome failed = client->ResumableUploadObject(request);
        EXPECT_FALSE(failed.ok) << kind;
        EXPECT_EQ(count("abort"), 1) << kind;
        EXPECT_FALSE(QFile::exists(stored(request.key))) << kind;
    }
    EXPECT_TRUE(filesNamed(service.ossDir + "/.uploads", "part-").isEmpty());
}

// A failed download never costs the file that was there.
TEST_F(Store, DownloadsAreCheckedAndNeverLoseTheOldFile)
{
    const QByteArray big = randomBytes(1024 * 1024 + 5);
    const QByteArray small = "a small object, sent with its Content-MD5";
    ASSERT_TRUE(client->PutObject(kBucket, "big.bin", big).ok);
    ASSERT_TRUE(client->PutObject(kBucket, "small.txt", small).ok);
    const QString target = writeFile("target.bin", "the old file");
    auto download = [&](const QString &key) {
        return client->ResumableDownloadObject({ kBucket, key, target, QString(), 256 * 1024, 3 });
    };

    struct Case {
        const char *fault;
        const char *key;
    };
    for (const Case &c : { Case { "kind=corrupt&count=1&only=get", "big.bin" },
             Case { "kind=corrupt&only=get", "small.txt" }, Case { "kind=reset&only=get", "big.bin" },
             Case { "kind=garbage&only=get", "big.bin" }, Case { "kind=garbage&only=head", "big.bin" } }) {
        refault(QStringLiteral("?route=oss&") + c.fault);
        const oss::Outcome outcome = download(c.key);
        EXPECT_FALSE(outcome.ok) << c.fault;
        EXPECT_EQ(readFile(target), "the old file") << c.fault << " " << outcome.error.toStdString();
        EXPECT_TRUE(filesNamed(testenv::sandboxRoot(), ".download").isEmpty())
            << c.fault << filesNamed(testenv::sandboxRoot(), ".download").join(" ").toStdString();
    }

    // Without faults both go through their checks and replace the old file.
    clearFaults(service);
    ASSERT_TRUE(download("small.txt").ok);
    EXPECT_EQ(readFile(target), small);
    ASSERT_TRUE(download("big.bin").ok);
    EXPECT_EQ(md5(readFile(target)), md5(big));
}

// Nonsense answers end in a clear failure, never a crash or a success.
TEST_F(Store, HostileAnswersFailCleanly)
{
    ASSERT_TRUE(client->PutObject(kBucket, "h/a.txt", "a").ok);
    refault("?route=oss&kind=garbage&only=head");
    const oss::Outcome head = client->HeadObject(kBucket, "h/a.txt");
    EXPECT_FALSE(head.ok);
    EXPECT_TRUE(head.error.contains("Content-Length")) << head.error.toStdString();

    LMRAos worker(settings());
    QString effect;
    QObject::connect(&worker, &LMRAos::sgEffect, [&](QString, QString e) { effect = e; });
    worker.HeadObject("h|1", kBucket.toStdString(), "h/a.txt");
    EXPECT_EQ(effect, "0");

    refault("?route=oss&kind=garbage&only=list");
    EXPECT_FALSE(client->ListObjects(kBucket, "h/").ok);
    refault("?route=oss&kind=garbage&only=delete");
    EXPECT_FALSE(client->DeleteObjects(kBucket, { "h/a.txt" }).ok);
    refault("?route=oss&kind=garbage&only=initiate");
    const QString path = writeFile("hostile.bin", randomBytes(300 * 1024));
    const oss::Outcome upload
        = client->ResumableUploadObject({ kBucket, "hostile.bin", path, QString(), 100 * 1024, 2 });
    EXPECT_FALSE(upload.ok);
    EXPECT_TRUE(upload.error.contains("UploadId")) << upload.error.toStdString();
    EXPECT_EQ(count("part"), 0);
}

// At most 1000 keys a request; a key the store will not delete stops the clean-up.
TEST_F(Store, DeletionGoesInBatchesAndStopsAtAFailedKey)
{
    auto placeObjects = [&](int n) {
        for (int i = 0; i < n; ++i) {
            const QString path = stored(QStringLiteral("old/%1.mp3").arg(i, 4, 10, QLatin1Char('0')));
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("x");
        }
    };
    placeObjects(2500);
    LMRAos worker(settings());
    worker.DeleteObject("d|1", kBucket.toStdString(), "old/");
    EXPECT_EQ(count("delete"), 3);
    EXPECT_TRUE(client->ListObjects(kBucket, "old/").objects.isEmpty());

    placeObjects(1500);
    refault("?route=oss&kind=keyerror&only=delete");
    worker.DeleteObject("d|2", kBucket.toStdString(), "old/");
    EXPECT_EQ(count("delete"), 1);
    EXPECT_TRUE(QFile::exists(stored("old/0000.mp3")));
    EXPECT_TRUE(harness::logText().contains("OSS: deleting under old/ stopped"));

    // More than a request may carry is refused before anything is sent.
    QStringList keys;
    for (int i = 0; i < 1001; ++i)
        keys << QStringLiteral("k%1").arg(i);
    EXPECT_FALSE(client->DeleteObjects(kBucket, keys).ok);
    EXPECT_EQ(count("delete"), 1);
}

int main(int argc, char **argv)
{
    testenv::enterSandbox("oss");
    return testenv::runGoogleTests(argc, argv, "LMRApp_test.log");
}

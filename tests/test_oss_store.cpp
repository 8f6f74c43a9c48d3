// The development store checks what the real service checks, so that a
// client bug cannot pass here and fail there: signatures built apart from
// the client's, the Date window, Content-MD5, names that could leave its
// folder, upload ids, part ETags and the limits of listing and deletion.
// Requests go as raw bytes, signed with the client's signer where a test
// wants only one thing wrong. Last, a store killed in the middle of a part.
#include "OssTestSupport.h"

#include <QDateTime>
#include <QHttpMultiPart>
#include <QLocale>

#include <thread>

using namespace osstest;

namespace
{

QByteArray dateFromNow(int seconds)
{
    return QLocale::c()
        .toString(QDateTime::currentDateTimeUtc().addSecs(seconds), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

// A signed PUT of `body` to `target`, signed for `bucket`/`key`.
Signed put(const QByteArray &target, const QByteArray &resource, const QByteArray &body = "data")
{
    Signed request;
    request.verb = "PUT";
    request.target = target;
    request.resource = resource;
    request.contentType = "application/octet-stream";
    request.body = body;
    request.md5 = true;
    return request;
}

} // namespace

TEST_F(Store, SignaturesAreCheckedApartFromTheClientsSigner)
{
    const int port = service.ossPort;
    Signed good = put("/lumira-files/sig.txt", "/lumira-files/sig.txt");
    const RawReply accepted = good.send(port);
    ASSERT_EQ(accepted.status, 200) << accepted.body.toStdString();
    EXPECT_EQ(accepted.headers.value("etag"), "\"" + md5("data").toHex().toUpper() + "\"");

    // One thing wrong at a time, each refused and nothing written.
    Signed noSubresource = put("/lumira-files/sig2.txt?uploads", "/lumira-files/sig2.txt");
    noSubresource.verb = "POST";
    Signed unsignedHeader = put("/lumira-files/sig2.txt", "/lumira-files/sig2.txt");
    unsignedHeader.ossHeaders = { { "x-oss-meta-owner", "me" } };
    unsignedHeader.signedOnly = { { "x-oss-meta-owner", "someone" } };
    Signed otherKey = put("/lumira-files/sig2.txt", "/lumira-files/sig2.txt ");
    Signed otherType = put("/lumira-files/sig2.txt", "/lumira-files/sig2.txt");
    otherType.contentType = "text/plain";
    for (Signed *wrong : { &noSubresource, &unsignedHeader, &otherKey }) {
        const RawReply reply = wrong->send(port);
        EXPECT_EQ(reply.status, 403) << wrong->resource.toStdString();
        EXPECT_EQ(reply.code(), "SignatureDoesNotMatch");
    }
    // The store reads Content-Type from the request: sign one, send another.
    {
        QList<QPair<QByteArray, QByteArray>> headers
            = { { "Date", otherType.date }, { "Content-Type", "application/octet-stream" },
                  { "Authorization",
                      oss::authorization(kKeyId, kSecret,
                          oss::stringToSign("PUT", "", "text/plain", otherType.date, {}, otherType.resource)) } };
        EXPECT_EQ(rawRequest(port, "PUT", otherType.target, headers, "data").code(), "SignatureDoesNotMatch");
    }

    // The Date window is 15 minutes either way.
    for (int skew : { -16 * 60, 16 * 60 }) {
        Signed stale = put("/lumira-files/sig2.txt", "/lumira-files/sig2.txt");
        stale.date = dateFromNow(skew);
        const RawReply reply = stale.send(port);
        EXPECT_EQ(reply.status, 403);
        EXPECT_EQ(reply.code(), "RequestTimeTooSkewed");
    }
    Signed recent = put("/lumira-files/recent.txt", "/lumira-files/recent.txt");
    recent.date = dateFromNow(-10 * 60);
    EXPECT_EQ(recent.send(port).status, 200);

    // Every route wants a signature, and a date it can read.
    for (const QByteArray verb : { "GET", "HEAD", "PUT", "POST", "DELETE" }) {
        const RawReply reply = rawRequest(port, verb, "/lumira-files/sig.txt", { { "Date", oss::httpDate() } });
        EXPECT_EQ(reply.status, 403) << verb.toStdString();
    }
    EXPECT_EQ(rawRequest(port, "GET", "/lumira-files/", {}).status, 403);
    Signed badDate = put("/lumira-files/sig2.txt", "/lumira-files/sig2.txt");
    badDate.date = "yesterday";
    EXPECT_EQ(badDate.send(port).code(), "AccessDenied");

    EXPECT_FALSE(QFile::exists(stored("sig2.txt")));
    EXPECT_TRUE(QFile::exists(stored("sig.txt")));
}

TEST_F(Store, ContentMd5AndChecksumsTravelBothWays)
{
    const int port = service.ossPort;
    Signed request = put("/lumira-files/check.txt", "/lumira-files/check.txt", "123456789");
    const QByteArray date = request.date;
    auto sendWithMd5 = [&](const QByteArray &contentMd5) {
        return rawRequest(port, "PUT", request.target,
            { { "Date", date }, { "Content-Type", request.contentType }, { "Content-MD5", contentMd5 },
                { "Authorization",
                    oss::authorization(kKeyId, kSecret,
                        oss::stringToSign("PUT", contentMd5, request.contentType, date, {}, request.resource)) } },
            request.body);
    };
    EXPECT_EQ(sendWithMd5(md5("12345678").toBase64()).code(), "BadDigest");
    EXPECT_EQ(sendWithMd5("not base64!").code(), "InvalidDigest");
    EXPECT_EQ(sendWithMd5(md5("123456789").left(8).toBase64()).code(), "InvalidDigest");
    EXPECT_FALSE(QFile::exists(stored("check.txt")));
    const RawReply accepted = sendWithMd5(md5("123456789").toBase64());
    ASSERT_EQ(accepted.status, 200);
    // The standard check value of CRC-64/XZ, in decimal as the service sends it.
    EXPECT_EQ(accepted.headers.value("x-oss-hash-crc64ecma"), "11051210869376104954");

    Signed get;
    get.target = get.resource = "/lumira-files/check.txt";
    const RawReply whole = get.send(port);
    EXPECT_EQ(whole.body, "123456789");
    EXPECT_EQ(whole.headers.value("content-md5"), md5("123456789").toBase64());
    EXPECT_EQ(whole.headers.value("x-oss-hash-crc64ecma"), "11051210869376104954");
}

TEST_F(Store, ListingLimitsAreBounded)
{
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(client->PutObject(kBucket, QStringLiteral("list/%1").arg(i), "x").ok);
    auto list = [&](const QByteArray &maxKeys) {
        Signed request;
        request.target = "/lumira-files/?prefix=list/&max-keys=" + maxKeys;
        request.resource = "/lumira-files/";
        return request.send(service.ossPort);
    };
    for (const QByteArray bad : { "0", "-1", "100000", "abc", "" }) {
        const RawReply reply = list(bad);
        EXPECT_EQ(reply.status, 400) << bad.toStdString();
        EXPECT_EQ(reply.code(), "InvalidArgument") << bad.toStdString();
    }
    const RawReply one = list("1");
    ASSERT_EQ(one.status, 200);
    EXPECT_EQ(oss::xmlValue(one.body, "IsTruncated"), "true");
    EXPECT_EQ(oss::xmlValue(one.body, "NextMarker"), "list/0");
    EXPECT_EQ(list("1000").body.count("<Key>"), 3);
    EXPECT_EQ(client->ListObjects(kBucket, "list/").objects.size(), 3); // the store is still there
}

TEST_F(Store, NamesCannotLeaveTheStore)
{
    const int port = service.ossPort;
    struct Case {
        QByteArray target, resource;
    };
    // Signed for the name the store decodes, so that only the name is wrong.
    const Case cases[] = {
        { "/lumira-files/../escape.txt", "/lumira-files/../escape.txt" },
        { "/lumira-files/%2e%2e%2fescape.txt", "/lumira-files/../escape.txt" },
        { "/lumira-files/a/%2e%2e/%2e%2e/%2e%2e/escape.txt", "/lumira-files/a/../../../escape.txt" },
        { "/lumira-files/%2Fetc%2Fescape.txt", "/lumira-files//etc/escape.txt" },
        { "/lumira-files/a%5c..%5c..%5cescape.txt", "/lumira-files/a\\..\\..\\escape.txt" },
        { "/lumira-files/./escape.txt", "/lumira-files/./escape.txt" },
        { "/%2e%2e/escape.txt", "/../escape.txt" },
        { "/Lumira_Files/escape.txt", "/Lumira_Files/escape.txt" },
        { "/lumira-files/" + QByteArray(1024, 'e'), "/lumira-files/" + QByteArray(1024, 'e') },
    };
    for (const Case &c : cases) {
        const RawReply reply = put(c.target, c.resource).send(port);
        EXPECT_EQ(reply.status, 400) << c.target.toStdString() << " " << reply.body.toStdString();
        EXPECT_TRUE(reply.code() == "InvalidObjectName" || reply.code() == "InvalidBucketName")
            << c.target.toStdString() << " " << reply.code().toStdString();
    }

    // Upload ids that are not the store's own, or belong to another object.
    Signed initiate = put("/lumira-files/mine.bin?uploads", "/lumira-files/mine.bin?uploads", "");
    initiate.verb = "POST";
    const QByteArray id = oss::xmlValue(initiate.send(port).body, "UploadId").toLatin1();
    ASSERT_EQ(id.size(), 32);
    for (const QByteArray &uploadId : QList<QByteArray> { "..%2f..%2flumira-files", "%2e%2e", id.toLower() }) {
        const RawReply reply = put("/lumira-files/mine.bin?partNumber=1&uploadId=" + uploadId,
            "/lumira-files/mine.bin?partNumber=1&uploadId=" + QByteArray::fromPercentEncoding(uploadId))
                                   .send(port);
        EXPECT_EQ(reply.code(), "NoSuchUpload") << uploadId.toStdString();
    }
    EXPECT_EQ(put("/lumira-files/other.bin?partNumber=1&uploadId=" + id,
                  "/lumira-files/other.bin?partNumber=1&uploadId=" + id)
                  .send(port)
                  .code(),
        "NoSuchUpload");

    // The service's form upload keeps to the same rules.
    QHttpMultiPart multi(QHttpMultiPart::FormDataType);
    for (const auto &field : { qMakePair(QByteArray("bucket_name"), QByteArray("lumira-files")),
             qMakePair(QByteArray("file_name"), QByteArray("../../escape.txt")),
             qMakePair(QByteArray("file"), QByteArray("data")) }) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
            QStringLiteral("form-data; name=\"%1\"; filename=\"x\"").arg(QString::fromLatin1(field.first)));
        part.setBody(field.second);
        multi.append(part);
    }
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.post(QNetworkRequest(QUrl(service.baseUrl() + "/upload/oss/add")), &multi);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(reply->readAll().contains("\"retcode\":-1"));
    delete reply;

    EXPECT_TRUE(filesNamed(testenv::sandboxRoot(), "escape").isEmpty())
        << filesNamed(testenv::sandboxRoot(), "escape").join(' ').toStdString();
}

TEST_F(Store, CompleteAndMultipleDeleteAreChecked)
{
    const int port = service.ossPort;
    Signed initiate = put("/lumira-files/parts.bin?uploads", "/lumira-files/parts.bin?uploads", "");
    initiate.verb = "POST";
    const QByteArray id = oss::xmlValue(initiate.send(port).body, "UploadId").toLatin1();
    const QByteArray resource = "/lumira-files/parts.bin?uploadId=" + id;
    const RawReply part = put("/lumira-files/parts.bin?partNumber=1&uploadId=" + id,
        "/lumira-files/parts.bin?partNumber=1&uploadId=" + id, "part one")
                              .send(port);
    ASSERT_EQ(part.status, 200);
    const QByteArray etag = part.headers.value("etag");

    auto complete = [&](const QByteArray &uploadId, const QByteArray &xml) {
        Signed request
            = put("/lumira-files/parts.bin?uploadId=" + uploadId, "/lumira-files/parts.bin?uploadId=" + uploadId, xml);
        request.verb = "POST";
        request.contentType = "application/xml";
        return request.send(port).code();
    };
    auto oneOf = [](const QByteArray &inner) {
        return "<CompleteMultipartUpload><Part><PartNumber>1</PartNumber>" + inner
            + "</Part></CompleteMultipartUpload>";
    };
    EXPECT_EQ(complete(id, oneOf("<ETag>\"0123456789ABCDEF0123456789ABCDEF\"</ETag>")), "InvalidPart");
    EXPECT_EQ(complete(id, oneOf("")), "InvalidPart");
    EXPECT_EQ(complete(id,
                  "<CompleteMultipartUpload><Part><PartNumber>2</PartNumber><ETag>" + etag
                      + "</ETag></Part>"
                        "</CompleteMultipartUpload>"),
        "InvalidPart");
    EXPECT_EQ(complete(id, "<CompleteMultipartUpload><Part>"), "MalformedXML");
    EXPECT_EQ(complete(QByteArray(32, 'A'), oneOf("<ETag>" + etag + "</ETag>")), "NoSuchUpload");
    EXPECT_FALSE(QFile::exists(stored("parts.bin")));
    EXPECT_EQ(complete(id, oneOf("<ETag>" + etag.toLower() + "</ETag>")), QString());
    EXPECT_EQ(readFile(stored("parts.bin")), "part one");
    EXPECT_EQ(complete(id, oneOf("<ETag>" + etag + "</ETag>")), "NoSuchUpload"); // done once

    auto deleteKeys = [&](int n, bool withMd5) {
        QByteArray xml = "<Delete><Quiet>true</Quiet>";
        for (int i = 0; i < n; ++i)
            xml += "<Object><Key>gone/" + QByteArray::number(i) + "</Key></Object>";
        Signed request = put("/lumira-files/?delete", "/lumira-files/?delete", xml + "</Delete>");
        request.verb = "POST";
        request.contentType = "application/xml";
        request.md5 = withMd5;
        return request.send(port);
    };
    EXPECT_EQ(deleteKeys(1001, true).code(), "MalformedXML");
    EXPECT_EQ(deleteKeys(1, false).status, 400);
    const RawReply quiet = deleteKeys(1000, true);
    EXPECT_EQ(quiet.status, 200);
    EXPECT_FALSE(quiet.body.contains("<Deleted>")); // quiet: failures only
}

// The store dies in the middle of a part: the upload fails cleanly, and once
// the store is back the same upload goes through.
TEST(KilledStore, AnUploadFailsCleanlyAndSucceedsAfterARestart)
{
    StoreProcess store;
    ASSERT_TRUE(store.start());
    oss::ClientConfiguration config;
    config.transferTimeoutMs = 10000;
    oss::OssClient client(store.endpoint(), kKeyId, kSecret, config);
    ASSERT_TRUE(client.CreateBucket(kBucket).ok);
    const QByteArray data = randomBytes(24 * 1024 * 1024);
    const QString path = writeFile("killed.bin", data);
    oss::UploadObjectRequest request(kBucket, "killed.bin", path, QString(), oss::kDefaultPartSize, 3);

    // Parts hang in the store until it is killed.
    devCall(store.baseUrl(), "POST", "/dev/fault?route=oss&kind=stall&only=part&ms=60000");
    oss::Outcome outcome;
    std::thread upload([&] { outcome = client.ResumableUploadObject(request); });
    const bool partArrived = testenv::waitUntil([&] { return requests(store.baseUrl(), "part") >= 1; });
    store.kill();
    upload.join();
    ASSERT_TRUE(partArrived);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_FALSE(QFile::exists(store.dir + "/lumira-files/killed.bin"));

    ASSERT_TRUE(store.start()); // same port, same folder, no faults
    const oss::Outcome again = client.ResumableUploadObject(request);
    ASSERT_TRUE(again.ok) << again.error.toStdString();
    EXPECT_EQ(md5(readFile(store.dir + "/lumira-files/killed.bin")), md5(data));
}

#include "net/oss/OssSignature.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QLocale>
#include <QMessageAuthenticationCode>

#include <algorithm>

namespace oss
{

bool isSignedSubresource(const QString &name)
{
    static const QStringList names = { QStringLiteral("acl"), QStringLiteral("append"), QStringLiteral("bucketInfo"),
        QStringLiteral("cname"), QStringLiteral("comp"), QStringLiteral("cors"), QStringLiteral("delete"),
        QStringLiteral("lifecycle"), QStringLiteral("location"), QStringLiteral("logging"),
        QStringLiteral("objectMeta"), QStringLiteral("partNumber"), QStringLiteral("position"), QStringLiteral("qos"),
        QStringLiteral("referer"), QStringLiteral("replication"), QStringLiteral("restore"),
        QStringLiteral("response-cache-control"), QStringLiteral("response-content-disposition"),
        QStringLiteral("response-content-encoding"), QStringLiteral("response-content-language"),
        QStringLiteral("response-content-type"), QStringLiteral("response-expires"), QStringLiteral("security-token"),
        QStringLiteral("symlink"), QStringLiteral("tagging"), QStringLiteral("uploadId"), QStringLiteral("uploads"),
        QStringLiteral("website"), QStringLiteral("x-oss-process") };
    return names.contains(name);
}

QByteArray canonicalizedResource(const QString &bucket, const QString &key, const QueryList &query)
{
    QByteArray resource = "/";
    if (!bucket.isEmpty())
        resource += bucket.toUtf8() + "/" + key.toUtf8();
    QueryList signedItems;
    for (const auto &item : query)
        if (isSignedSubresource(item.first))
            signedItems << item;
    std::sort(signedItems.begin(), signedItems.end(),
        [](const QPair<QString, QString> &a, const QPair<QString, QString> &b) { return a.first < b.first; });
    for (int i = 0; i < signedItems.size(); ++i) {
        resource += i == 0 ? "?" : "&";
        resource += signedItems[i].first.toUtf8();
        if (!signedItems[i].second.isEmpty())
            resource += "=" + signedItems[i].second.toUtf8();
    }
    return resource;
}

QByteArray canonicalizedOssHeaders(const HeaderList &headers)
{
    QList<QPair<QByteArray, QByteArray>> oss;
    for (const auto &header : headers) {
        const QByteArray name = header.first.trimmed().toLower();
        if (name.startsWith("x-oss-"))
            oss << qMakePair(name, header.second.trimmed());
    }
    std::sort(
        oss.begin(), oss.end(), [](const QPair<QByteArray, QByteArray> &a, const QPair<QByteArray, QByteArray> &b) {
            return a.first < b.first;
        });
    QByteArray text;
    for (const auto &header : oss)
        text += header.first + ":" + header.second + "\n";
    return text;
}

QByteArray stringToSign(const QByteArray &verb, const QByteArray &contentMd5, const QByteArray &contentType,
    const QByteArray &date, const HeaderList &headers, const QByteArray &resource)
{
    return verb + "\n" + contentMd5 + "\n" + contentType + "\n" + date + "\n" + canonicalizedOssHeaders(headers)
        + resource;
}

QByteArray signature(const QByteArray &secret, const QByteArray &text)
{
    return QMessageAuthenticationCode::hash(text, secret, QCryptographicHash::Sha1).toBase64();
}

QByteArray authorization(const QByteArray &keyId, const QByteArray &secret, const QByteArray &text)
{
    return "OSS " + keyId + ":" + signature(secret, text);
}

QByteArray httpDate()
{
    return QLocale::c()
        .toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

} // namespace oss

#pragma once
// The object store's V1 request signature, as the client makes it. The
// development store checks it with code of its own, so that a mistake here
// cannot pass on both sides.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace oss
{

using HeaderList = QList<QPair<QByteArray, QByteArray>>;
using QueryList = QList<QPair<QString, QString>>;

// Sub-resources that take part in the signature; other query items do not.
bool isSignedSubresource(const QString &name);

// "/bucket/key" plus the signed sub-resources, sorted, as "?a&b=c".
QByteArray canonicalizedResource(const QString &bucket, const QString &key, const QueryList &query);

// The x-oss-* headers, names lower-cased, sorted, one "name:value\n" each.
QByteArray canonicalizedOssHeaders(const HeaderList &headers);

QByteArray stringToSign(const QByteArray &verb, const QByteArray &contentMd5, const QByteArray &contentType,
    const QByteArray &date, const HeaderList &headers, const QByteArray &resource);

// base64(hmac-sha1(secret, stringToSign))
QByteArray signature(const QByteArray &secret, const QByteArray &stringToSign);

// "OSS keyid:signature"
QByteArray authorization(const QByteArray &keyId, const QByteArray &secret, const QByteArray &stringToSign);

// RFC 1123 date in GMT, as the Date header wants it.
QByteArray httpDate();

} // namespace oss

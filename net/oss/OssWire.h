#pragma once
// What the client checks in the store's answers: checksums of the data and
// fields of the XML bodies. Every answer is treated as untrusted input.
#include <QByteArray>
#include <QString>

namespace oss
{

// CRC-64 as the store sends it in x-oss-hash-crc64ecma: the ECMA-182
// polynomial, reflected, all-ones initial value and final xor (CRC-64/XZ).
class Crc64
{
public:
    void update(const char *data, qint64 length);
    quint64 value() const { return ~m_crc; }

private:
    quint64 m_crc = ~quint64(0);
};

// Text of the first element `name`; empty when absent or the XML is broken.
QString xmlValue(const QByteArray &xml, const QString &name);

// Whether an ETag header (quoted or not, any case) is this MD5 digest.
bool etagMatches(const QByteArray &etag, const QByteArray &md5Digest);

// A decimal length header: false when missing, not a number, negative or
// larger than anything the store can hold.
bool parseLength(const QByteArray &text, qint64 &length);

// An unsigned decimal checksum header such as x-oss-hash-crc64ecma.
bool parseChecksum(const QByteArray &text, quint64 &value);

// Puts `from` in place of `to` in one step, so that `to` is never missing
// (rename over an existing file).
bool replaceFile(const QString &from, const QString &to);

} // namespace oss

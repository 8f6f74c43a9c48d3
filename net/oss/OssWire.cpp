#include "net/oss/OssWire.h"

#include <QFile>
#include <QXmlStreamReader>

#include <array>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#endif

namespace oss
{

namespace
{
// The largest object the service stores is 48.8 TB; anything above is a lie.
constexpr qint64 kMaxObjectSize = qint64(50) << 40;
} // namespace

void Crc64::update(const char *data, qint64 length)
{
    static const std::array<quint64, 256> table = [] {
        std::array<quint64, 256> t {};
        for (quint64 i = 0; i < 256; ++i) {
            quint64 crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ ((crc & 1) ? Q_UINT64_C(0xC96C5795D7870F42) : 0);
            t[i] = crc;
        }
        return t;
    }();
    quint64 crc = m_crc;
    for (qint64 i = 0; i < length; ++i)
        crc = table[(crc ^ quint8(data[i])) & 0xff] ^ (crc >> 8);
    m_crc = crc;
}

QString xmlValue(const QByteArray &xml, const QString &name)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == name) {
            const QString text = reader.readElementText();
            return reader.hasError() ? QString() : text;
        }
    }
    return QString();
}

bool etagMatches(const QByteArray &etag, const QByteArray &md5Digest)
{
    QByteArray plain = etag.trimmed();
    if (plain.size() >= 2 && plain.startsWith('"') && plain.endsWith('"'))
        plain = plain.mid(1, plain.size() - 2);
    return plain.size() == 32 && plain.toLower() == md5Digest.toHex();
}

bool parseLength(const QByteArray &text, qint64 &length)
{
    const QByteArray digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 18)
        return false;
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    length = digits.toLongLong();
    return length <= kMaxObjectSize;
}

bool parseChecksum(const QByteArray &text, quint64 &value)
{
    const QByteArray digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 20)
        return false;
    for (char c : digits)
        if (c < '0' || c > '9')
            return false;
    bool ok = false;
    value = digits.toULongLong(&ok);
    return ok;
}

bool replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()), reinterpret_cast<const wchar_t *>(to.utf16()),
               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
        != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

} // namespace oss

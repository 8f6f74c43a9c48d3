#include "StoreChecks.h"

#include <httplib.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>

namespace devservice
{
namespace
{

constexpr long kMaxSkewSeconds = 15 * 60;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string trim(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The query items the service signs; all others are left out.
const std::set<std::string> &signedSubresources()
{
    static const std::set<std::string> names = { "acl", "append", "bucketInfo", "cname", "comp", "cors", "delete",
        "lifecycle", "location", "logging", "objectMeta", "partNumber", "position", "qos", "referer", "replication",
        "restore", "response-cache-control", "response-content-disposition", "response-content-encoding",
        "response-content-language", "response-content-type", "response-expires", "security-token", "symlink",
        "tagging", "uploadId", "uploads", "website", "x-oss-process" };
    return names;
}

std::string base64(const unsigned char *data, size_t length)
{
    std::string out(4 * ((length + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(&out[0]), data, int(length));
    out.resize(size_t(std::max(n, 0)));
    return out;
}

std::string hmacSha1Base64(const std::string &secret, const std::string &text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha1(), secret.data(), int(secret.size()), reinterpret_cast<const unsigned char *>(text.data()),
            text.size(), digest, &length))
        return std::string();
    return base64(digest, length);
}

// RFC 1123 date, GMT; false when the text is not one.
bool parseHttpDate(const std::string &text, time_t &out)
{
    struct tm parts = {};
    const char *end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
    if (!end || *end != '\0')
        return false;
    out = timegm(&parts);
    return out != time_t(-1);
}

Refusal refuse(int status, const char *code, const char *message) { return Refusal { status, code, message }; }

// The V1 canonical string of a request as the store received it.
std::string canonicalString(const httplib::Request &req, const std::string &bucket, const std::string &key)
{
    std::map<std::string, std::string> ossHeaders; // sorted by lower-cased name
    for (const auto &header : req.headers) {
        const std::string name = lower(header.first);
        if (name.compare(0, 6, "x-oss-") != 0)
            continue;
        std::string &value = ossHeaders[name];
        value += (value.empty() ? "" : ",") + trim(header.second);
    }
    std::string text = req.method + "\n" + req.get_header_value("Content-MD5") + "\n"
        + req.get_header_value("Content-Type") + "\n" + req.get_header_value("Date") + "\n";
    for (const auto &header : ossHeaders)
        text += header.first + ":" + header.second + "\n";

    text += "/";
    if (!bucket.empty())
        text += bucket + "/" + key;
    std::map<std::string, std::string> subresources;
    for (const auto &param : req.params)
        if (signedSubresources().count(param.first))
            subresources[param.first] = param.second;
    char separator = '?';
    for (const auto &item : subresources) {
        text += separator + item.first;
        if (!item.second.empty())
            text += "=" + item.second;
        separator = '&';
    }
    return text;
}

} // namespace

Refusal checkSignature(const httplib::Request &req, const std::string &bucket, const std::string &key,
    const std::string &keyId, const std::string &secret)
{
    const std::string auth = req.get_header_value("Authorization");
    if (auth.empty())
        return refuse(403, "AccessDenied", "Anonymous access is forbidden for this operation.");
    const std::string prefix = "OSS " + keyId + ":";
    if (auth.compare(0, 4, "OSS ") != 0 || auth.find(':') == std::string::npos)
        return refuse(400, "InvalidArgument", "Authorization header is invalid.");
    if (auth.compare(0, prefix.size(), prefix) != 0)
        return refuse(403, "InvalidAccessKeyId", "The OSS Access Key Id you provided does not exist in our records.");

    time_t date = 0;
    if (!parseHttpDate(req.get_header_value("Date"), date))
        return refuse(403, "AccessDenied", "The Date header is missing or not an RFC 1123 GMT date.");
    if (std::labs(long(std::time(nullptr) - date)) > kMaxSkewSeconds)
        return refuse(
            403, "RequestTimeTooSkewed", "The difference between the request time and the current time is too large.");

    const std::string expected = hmacSha1Base64(secret, canonicalString(req, bucket, key));
    const std::string given = auth.substr(prefix.size());
    if (expected.empty() || given.size() != expected.size()
        || CRYPTO_memcmp(given.data(), expected.data(), expected.size()) != 0)
        return refuse(403, "SignatureDoesNotMatch", "The request signature we calculated does not match.");
    return Refusal();
}

Refusal checkContentMd5(const httplib::Request &req, const std::string &body)
{
    if (!req.has_header("Content-MD5"))
        return Refusal();
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(req.get_header_value("Content-MD5")), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 16)
        return refuse(400, "InvalidDigest", "The Content-MD5 you specified is not valid.");
    if (QCryptographicHash::hash(QByteArray::fromRawData(body.data(), int(body.size())), QCryptographicHash::Md5)
        != decoded.decoded)
        return refuse(400, "BadDigest", "The Content-MD5 you specified did not match what was received.");
    return Refusal();
}

bool validBucketName(const std::string &name)
{
    if (name.size() < 3 || name.size() > 63 || name.front() == '-' || name.back() == '-')
        return false;
    return std::all_of(
        name.begin(), name.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; });
}

bool validObjectKey(const std::string &key)
{
    if (key.empty() || key.size() > 1023 || key.front() == '/')
        return false;
    if (QString::fromUtf8(key.data(), int(key.size())).toUtf8().toStdString() != key)
        return false; // not UTF-8
    for (unsigned char c : key)
        if (c < 0x20 || c == 0x7f || c == '\\')
            return false;
    size_t start = 0;
    for (;;) {
        const size_t end = key.find('/', start);
        const std::string segment = key.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

bool validUploadId(const std::string &id)
{
    return id.size() == 32
        && std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

void Crc64::update(const char *data, size_t length)
{
    static const std::array<uint64_t, 256> table = [] {
        std::array<uint64_t, 256> t {};
        for (uint64_t i = 0; i < 256; ++i) {
            uint64_t crc = i;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0xC96C5795D7870F42ULL : crc >> 1;
            t[i] = crc;
        }
        return t;
    }();
    for (size_t i = 0; i < length; ++i)
        m_crc = table[(m_crc ^ static_cast<unsigned char>(data[i])) & 0xff] ^ (m_crc >> 8);
}

} // namespace devservice

#pragma once
// What the development store checks before it touches a file, the way the
// real service checks it. The signature is computed here with OpenSSL and a
// canonical string built on its own, never with the client's signer: a
// signing mistake in the client must fail against this store.
#include <cstddef>
#include <cstdint>
#include <string>

namespace httplib
{
struct Request;
}

namespace devservice
{

// A refused request: HTTP status and the store's error code.
struct Refusal {
    int status = 0;
    std::string code;
    std::string message;
    bool refused() const { return !code.empty(); }
};

// Authorization "OSS keyid:signature" over the V1 canonical string, and a
// Date no more than 15 minutes away from now.
Refusal checkSignature(const httplib::Request &req, const std::string &bucket, const std::string &key,
    const std::string &keyId, const std::string &secret);

// Content-MD5 against the body: an unreadable value is InvalidDigest, a
// different digest BadDigest. No header, no check.
Refusal checkContentMd5(const httplib::Request &req, const std::string &body);

// 3 to 63 of a-z, 0-9 and '-', starting and ending with a letter or digit.
bool validBucketName(const std::string &name);

// Non-empty, at most 1023 bytes of UTF-8, and, because keys are paths on this
// store's disk: no leading '/', no backslash, no control character, no
// empty, "." or ".." segment.
bool validObjectKey(const std::string &key);

// The ids this store hands out: 32 upper-case hex digits.
bool validUploadId(const std::string &id);

// CRC-64/XZ, the ECMA-182 polynomial reflected, all ones in and out: the
// value the service sends as x-oss-hash-crc64ecma (in decimal).
class Crc64
{
public:
    void update(const char *data, size_t length);
    uint64_t value() const { return ~m_crc; }

private:
    uint64_t m_crc = ~uint64_t(0);
};

} // namespace devservice

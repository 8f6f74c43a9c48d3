#include "update/PackageSignature.h"

#include <QFile>

#include <openssl/evp.h>

#include <memory>

namespace lumira::update
{
namespace
{

constexpr int kKeyBytes = 32;
constexpr int kSignatureBytes = 64;

struct PkeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX *ctx) const { EVP_MD_CTX_free(ctx); }
};

} // namespace

SignatureCheck verifyPackage(const QString &packageFile, const QString &signatureFile, const QByteArray &publicKey)
{
    if (publicKey.size() != kKeyBytes)
        return SignatureCheck::NoKey;
    QFile signature(signatureFile);
    if (!signature.open(QIODevice::ReadOnly) || signature.size() != kSignatureBytes)
        return SignatureCheck::Missing;
    const QByteArray sig = signature.readAll();
    if (sig.size() != kSignatureBytes)
        return SignatureCheck::Missing;

    QFile package(packageFile);
    if (!package.open(QIODevice::ReadOnly) || package.size() <= 0)
        return SignatureCheck::Unreadable;
    // Ed25519 hashes the message twice, so it takes the whole file at once:
    // mapped, not copied into memory.
    const qint64 size = package.size();
    uchar *data = package.map(0, size);
    if (!data)
        return SignatureCheck::Unreadable;

    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char *>(publicKey.constData()), kKeyBytes));
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    bool valid = false;
    if (key && ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1)
        valid = EVP_DigestVerify(
                    ctx.get(), reinterpret_cast<const unsigned char *>(sig.constData()), sig.size(), data, size_t(size))
            == 1;
    package.unmap(data);
    return valid ? SignatureCheck::Valid : SignatureCheck::Invalid;
}

QString describe(SignatureCheck check)
{
    switch (check) {
    case SignatureCheck::Valid:
        return QStringLiteral("valid");
    case SignatureCheck::NoKey:
        return QStringLiteral("the configured public key is not 32 bytes");
    case SignatureCheck::Missing:
        return QStringLiteral("signature missing or not 64 bytes");
    case SignatureCheck::Unreadable:
        return QStringLiteral("package missing, empty or unreadable");
    case SignatureCheck::Invalid:
        return QStringLiteral("signature does not match the package");
    }
    return QString();
}

} // namespace lumira::update

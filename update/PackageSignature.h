#pragma once

#include <QByteArray>
#include <QString>

namespace lumira::update
{

// Outcome of checking an installer package against its detached signature.
enum class SignatureCheck {
    Valid,
    NoKey, // the public key is not 32 bytes: nothing can be trusted
    Missing, // no signature file, or not 64 bytes
    Unreadable, // the package cannot be read
    Invalid, // the signature does not match the package under this key
};

// Ed25519 over the whole file: `signatureFile` holds the 64 raw bytes that
// `openssl pkeyutl -sign -rawin` writes, `publicKey` the 32 raw key bytes.
SignatureCheck verifyPackage(const QString &packageFile, const QString &signatureFile, const QByteArray &publicKey);

QString describe(SignatureCheck check);

} // namespace lumira::update

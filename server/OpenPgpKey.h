#pragma once

#include <QByteArray>

// An uploaded OpenPGP key, checked to be what a client can encrypt to: exactly one transferable
// public key (RFC 4880, section 11.1) as gpg exports it, version 4, with a user id that carries a
// self-signature and a primary key or subkey that may encrypt. Self-signatures and subkey bindings
// count only when they verify (RSA and Ed25519 primary keys; others are not supported).
class OpenPgpKey
{
public:
    enum class Status
    {
        Valid,
        NotOpenPgp, // does not start with a well-formed public-key packet
        SecretKey, // holds secret key material: never stored
        Unsupported, // not version 4, or a primary key algorithm the relay cannot verify
        SeveralKeys,
        TrailingData, // packets or bytes that do not belong to a public key follow it
        NoUserId,
        NoSelfSignature, // no user id is signed by the key itself
        NoEncryptionKey
    };

    explicit OpenPgpKey(const QByteArray& packets);

    Status status() const { return m_status; }
    // The version 4 fingerprint (20 bytes); empty unless status() is Valid.
    QByteArray fingerprint() const { return m_status == Status::Valid ? m_fingerprint : QByteArray(); }

private:
    Status check(const QByteArray& packets);

    Status m_status;
    QByteArray m_fingerprint;
};

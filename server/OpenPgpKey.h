#pragma once

#include <QByteArray>

// An uploaded transferable OpenPGP public key (raw packets as gpg exports them), checked far enough
// to bind it to a fingerprint: the packet stream must be well-formed, start with a version 4
// public-key packet and carry no secret key material.
class OpenPgpKey
{
public:
    enum class Status
    {
        Valid,
        NotOpenPgp, // not a well-formed packet stream starting with a public-key packet
        SecretKey, // holds secret key material: never stored
        UnsupportedVersion // the primary key is not version 4
    };

    explicit OpenPgpKey(const QByteArray& packets);

    Status status() const { return m_status; }
    // The version 4 fingerprint (20 bytes): SHA-1 over 0x99, the two-byte body length and the body
    // of the primary public-key packet. Empty unless status() is Valid.
    QByteArray fingerprint() const { return m_fingerprint; }

private:
    Status m_status = Status::NotOpenPgp;
    QByteArray m_fingerprint;
};

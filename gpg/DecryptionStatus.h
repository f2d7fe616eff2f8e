#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>

// What gpg's status lines say about one decryption: whether the plaintext is whole and untouched,
// and each signature found inside the encryption with its outcome. gpg's exit code alone cannot
// tell these apart.
struct DecryptionStatus
{
    struct Signature
    {
        enum class Outcome
        {
            Good, // made by the key named, and it matches the content
            Bad, // it does not match the content
            Unchecked, // no key at hand to check it, or an algorithm gpg does not know
            Invalid // an expired or revoked signature or key
        };
        Outcome outcome = Outcome::Unchecked;
        QString fingerprint; // of the signing key's primary key, when gpg names it
    };

    // The message was integrity-protected and passed the check.
    bool intact = false;
    QList<Signature> signatures;

    // lines: status lines without their "[GNUPG:] " prefix.
    static DecryptionStatus parse(const QByteArrayList& lines);
};

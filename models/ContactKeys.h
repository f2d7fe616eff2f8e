#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;
class RelayClient;

// The keys of the contacts as this computer pinned them. Keys come from the relay, which may lie:
// an answer is used only when it is exactly one public key whose fingerprint is the one the relay
// names, for the key id that was asked for. The first usable key of a contact is pinned; a later
// one with another fingerprint is never stored over it nor used, until the user accepts it, and
// then the contact counts as not verified. Verified means the user has compared the safety number.
class ContactKeys
{
    Q_DECLARE_TR_FUNCTIONS(ContactKeys)
public:
    struct Fetched
    {
        QString keyId;
        QString fingerprint; // the pinned key's
        QString offered; // set when the relay offers another key than the pinned one
        QString error; // null when the pinned key may be used
    };
    using Callback = std::function<void(const Fetched&)>;

    // Fetches the key of keyId and pins it unless one is pinned already (a row is made for a key id
    // that has none). Calls done once, unless context goes first.
    static void fetch(RelayClient* relay, const QString& keyId, QObject* context, Callback done);
    // Pins the relay's current key of keyId in place of the pinned one, if it has this fingerprint.
    static void accept(RelayClient* relay, const QString& keyId, const QString& fingerprint, QObject* context,
                       Callback done);

    // The pinned fingerprint of keyId, or empty.
    static QString pinned(const QString& keyId);
    // The fingerprints of every stored key, the user's own and the contacts'.
    static QStringList fingerprints();
    // The fingerprint of the user's own key, the one that signs.
    static QString ownFingerprint();
    static bool isVerified(const QString& keyId);
    static bool setVerified(const QString& keyId, bool verified);

    // 40 hexadecimal digits in groups of four.
    static QString grouped(const QString& fingerprint);
    // Twelve groups of five digits that both people compute alike from their two fingerprints: the
    // SHA-512 digest of the two fingerprints' 20 bytes each, the smaller first, cut into 5-byte
    // big-endian numbers, each taken modulo 100000. Empty when a fingerprint is missing.
    static QString safetyNumber(const QString& fingerprint, const QString& otherFingerprint);

    // The contact's title, or its key id.
    static QString name(const QString& keyId);
    // Whether the contact's key is verified, as a line to show beside the contact.
    static QString trustText(const QString& keyId);
    // Who signed a container, with or without the signer's name: signer is the signing key's
    // fingerprint, empty for a container without a signature.
    static QString signatureText(const QString& signer, bool withName);
    // A signature that no stored key can check.
    static QString unknownSignerText();
    // The stop of a send to a contact whose key has changed.
    static QString changeText(const QString& keyId, const QString& pinnedFingerprint, const QString& offered);
};

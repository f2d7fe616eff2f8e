#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// HOME/.tessary2, the private GnuPG home directory (and the data directory).
QString gpgHomeDir();

// Fingerprints of the "fpr" records of a colon listing, in listing order.
QStringList parseFingerprints(const QByteArray& colonListing);

// The fingerprint of the key in the colon listing of gpg --show-keys, when it lists exactly one
// public key and nothing secret; empty otherwise.
QString singlePublicKeyFingerprint(const QByteArray& colonListing);

// Ten characters drawn from [A-Za-z0-9] with std::rand(), which start-up seeds once.
QString randomString();
// The block that the generation writes to gpg: five lines, no line feed after the last one.
QByteArray keyGenerationParameters(const QString& name);

// True when gpg's error output says that it could not reach gpg-agent. With a long home directory
// path the agent's socket name does not fit into a socket address and every call that needs the
// agent (generation, secret key import, password encryption, decryption) fails that way.
bool isAgentFailure(const QByteArray& errorOutput);

#pragma once

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>

class QObject;
class QProcess;

// The command prefix naming gpg and the private home directory: gpg --homedir "HOME/.tessary2".
// Built by initGpgCommandPrefix() when the program starts (and again by tests that change HOME).
extern QString gpgCommandPrefix;
void initGpgCommandPrefix();
// HOME/.tessary2, the GnuPG home directory (and the data directory).
QString gpgHomeDir();

// Fingerprints of the "fpr" records of a colon listing, in listing order.
QStringList parseFingerprints(const QByteArray& colonListing);

// Starts the batch generation of a key pair; receiver's slot keyPairGenerated() is called once when
// gpg ends. False when gpg did not start.
bool startKeyGeneration(QObject* receiver);
// Fingerprint -> (secret export, public export) of every secret key in the keyring, each deleted.
QHash<QString, QPair<QByteArray, QByteArray>> takeSecretKeys();

// Ten characters drawn from [A-Za-z0-9] with std::rand(), which start-up seeds once.
QString randomString();
// The block that the generation writes to gpg: five lines, no line feed after the last one.
QByteArray keyGenerationParameters(const QString& name);
// What gpg wrote to standard error in the last generation finished for receiver; readable from
// receiver's keyPairGenerated().
QByteArray keyGenerationErrors(const QObject* receiver);

// Starts prefix + options (split like a command string: a double-quoted stretch is one argument)
// and waits up to timeoutMs for it to finish. False when it did not start or did not finish in
// time; a late process is killed. The outputs stay readable from process afterwards.
bool runGpgCommand(QProcess& process, const QString& options, int timeoutMs = 30000);
// Starts prefix + options and blocks until it exits, without time limit; nothing is read. Used for
// the key deletions, so it first waits for the keyring (below).
void runGpgCommandToCompletion(const QString& options);
// Concurrent gpg processes that change one keyring sometimes fail on its locks. Every keyring
// change of this process (generation, import, deletion) calls this first: it blocks until the key
// generations still running have ended.
void waitForKeyringIdle();

// True when gpg's error output says that it could not reach gpg-agent. With a long home directory
// path the agent's socket name does not fit into a socket address and every call that needs the
// agent (generation, secret key import, password encryption, decryption) fails that way.
bool isAgentFailure(const QByteArray& errorOutput);

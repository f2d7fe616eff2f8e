#pragma once

#include "gpg/DecryptionStatus.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class PipeFeeder;
class GpgProcess;

// Encrypts or decrypts one stream with gpg: to or with the key stored in key_data under a
// fingerprint (method 1), or with a password (method 2). For method 1 the keys are put into the
// private GnuPG home first and taken out again when gpg has ended, so that it holds no key at rest.
// The caller writes the plaintext into process() (encryption) or reads it from there (decryption)
// once started() came; finished() follows exactly once, also after cancel().
class Crypter : public QObject
{
    Q_OBJECT
public:
    Crypter(int method, const QString& secret, bool encrypt, QObject* parent = nullptr);
    ~Crypter() override;

    // gpg's -z level for encryption; negative leaves gpg's default.
    void setCompressLevel(int level) { m_compressLevel = level; }
    // Encryption to a key also signs, inside the encryption, with the own key of this fingerprint.
    void setSigner(const QString& fingerprint) { m_signer = fingerprint; }
    // Decryption checks signatures against the stored public keys with these fingerprints.
    void setSignatureKeys(const QStringList& fingerprints) { m_signatureKeys = fingerprints; }
    // gpg reads the file at path instead of what is written; with a length, only its first length
    // bytes (through a pipe).
    void setInputFile(const QString& path, qint64 length = -1);
    // gpg reads what producer makes, on a thread of its own (PipeFeeder).
    void setInputProducer(std::function<qint64(char*, qint64)> producer) { m_producer = std::move(producer); }
    // gpg's output goes into this file instead of process()'s read channel.
    void setOutputFile(const QString& path) { m_outputFile = path; }

    void start();
    void cancel();
    GpgProcess* process() const { return m_process; }
    // What gpg's status lines told about a decryption, once finished() came.
    DecryptionStatus status() const { return m_status; }

signals:
    void started();
    // A problem with a key or the password, before finished(false).
    void keyError(QString text);
    // ok: gpg exited with code 0.
    void finished(bool ok);

private:
    // Appends the keys gpg needs to keys; false, after keyError(), when one is missing.
    bool collectKeys(QByteArray* keys);
    void runGpg();
    // Takes out the keys that were put in, then ends.
    void finish(bool ok);
    void end(bool ok);
    QString agentFailureText() const;

    int m_method;
    QString m_secret;
    bool m_encrypt;
    int m_compressLevel = -1;
    QString m_signer;
    QStringList m_signatureKeys;
    QString m_inputFile;
    qint64 m_inputLength = -1;
    QString m_outputFile;
    GpgProcess* m_process = nullptr;
    std::function<qint64(char*, qint64)> m_producer;
    std::unique_ptr<PipeFeeder> m_feeder;
    bool m_cancelled = false;
    bool m_ended = false;
    QStringList m_imported; // fingerprints this object holds in the keyring
    DecryptionStatus m_status;
};

#pragma once

#include "app/Job.h"
#include "containers/PayloadReader.h"
#include "containers/StagingFolder.h"

#include <QFile>

#include <memory>

class Crypter;
struct DecryptionStatus;

// Extracts a container file into a folder: gpg decrypts it straight into the unpacker, which writes
// the files into a staging folder inside the extraction folder; they move into place only after gpg
// has found the container intact. A failure or a cancel leaves the extraction folder as it was.
// The container file is only read.
class OpenJob : public Job, private PayloadReader::Sink
{
    Q_OBJECT
public:
    // password: for a container made with one (method 2); a key container finds the user's key by
    // the fingerprint in its trailer.
    OpenJob(const QString& containerPath, const QString& folder, StagingFolder::ExistingFiles existing,
            const QString& password = QString(), QObject* parent = nullptr);
    ~OpenJob() override;

    // The container is a temporary file of this program's: it may be cut to its OpenPGP message,
    // which gpg then reads straight from the file.
    void setContainerIsTemporary(bool temporary) { m_temporary = temporary; }
    // The container came from the relay, which names keyId as its sender: it is taken unsigned, or
    // signed by the key pinned for keyId and no other. Without a sender, a signature is checked
    // against every stored key, and one that cannot be checked does not stop the container.
    void setSender(const QString& keyId) { m_sender = keyId; }

    // Once succeeded: the fingerprint of the key that signed the container, empty when nothing
    // known signed it.
    QString signer() const { return m_signer; }
    // Once succeeded: who signed the container, as a line to show.
    QString signatureText() const { return m_signatureText; }

    // True when the container at path is locked with a password rather than to a key.
    static bool needsPassword(const QString& containerPath);

signals:
    // What became of each entry, in container order.
    void succeeded(Arrival arrival);

protected:
    void run() override;
    void stop() override;

private:
    // Takes what gpg has written: all of it, or only once there is a block's worth.
    void readOutput(bool all);
    void decrypted(bool ok);
    bool begin(const QVector<PayloadRecord>& records) override;
    bool entry(int index) override;
    bool content(const char* data, qint64 length) override;
    // Why the payload could not be read, or empty.
    QString readerError() const;
    // Why the container's signatures stop it, or empty when they do not (signer() and
    // signatureText() are set then).
    QString judgeSignatures(const DecryptionStatus& status);

    QString m_containerPath;
    QString m_folder;
    StagingFolder::ExistingFiles m_existing;
    QString m_password;
    bool m_temporary = false;
    QString m_sender;
    QString m_expectedSigner;
    QString m_signer;
    QString m_signatureText;
    std::unique_ptr<StagingFolder> m_staging;
    PayloadReader m_reader;
    Crypter* m_crypter = nullptr;
    QVector<PayloadRecord> m_records;
    QFile m_file; // the entry being written; closed while an entry is skipped
    QString m_writeError;
    qint64 m_done = 0;
    QByteArray m_buffer;
};

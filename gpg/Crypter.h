#pragma once

#include <QObject>
#include <QString>

// Encrypts or decrypts one file with gpg, to a key stored in key_data (method 1) or with a
// password (method 2).
class Crypter : public QObject
{
    Q_OBJECT
public:
    explicit Crypter(QObject* parent = nullptr);

    // True when gpg exited with code 0 and outputPath exists; on failure a partial output is removed.
    // A file already at outputPath is removed first. Waits in a nested event loop; canceled() kills
    // the running gpg. With inputLength >= 0 gpg reads only the first inputLength bytes of inputPath,
    // moved by the kernel from the file into its standard input. compressLevel (encryption only)
    // is passed to gpg as its -z option; a negative level leaves gpg's default.
    bool crypt(const QString& inputPath, const QString& outputPath, int cryptMethod, const QString& secret,
               bool encrypt, qint64 inputLength = -1, int compressLevel = -1);

    void importKey(const QString& fpr, bool isPublic);
    void deleteKey(const QString& fpr);

signals:
    void error(QString text);
    void canceled();

private:
    // importKey(), telling whether it went through without a message.
    bool importKeyChecked(const QString& fpr, bool isPublic);
    QString agentFailureText() const;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

// Real OpenPGP keys made by gpg in a private, short-lived GNUPGHOME: an RSA-2048 primary key with
// an encryption subkey, as the client's key pairs are.
class GpgTestKeys
{
public:
    struct Key
    {
        QString fingerprint; // 40 upper-case hex digits
        QByteArray publicKey; // raw packets of gpg --export
        QByteArray secretKey; // raw packets of gpg --export-secret-keys
    };

    explicit GpgTestKeys(int count);
    ~GpgTestKeys();

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    const Key& key(int index) const { return m_keys.at(index); }

private:
    QByteArray gpg(const QStringList& args);

    QTemporaryDir m_home;
    QVector<Key> m_keys;
    QString m_error;
};

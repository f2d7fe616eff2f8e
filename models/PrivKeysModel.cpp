#include "models/PrivKeysModel.h"

#include "gpg/Gpg.h"
#include "net/NetworkManager.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>

PrivKeysModel::PrivKeysModel(QObject* parent, QSqlDatabase db)
    : BaseKeysModel(parent, db)
{
    setFilter(QStringLiteral("private IS NOT NULL"));
    select();
}

void PrivKeysModel::genKeyPair()
{
    // The first-start page waits for one of the two signals; a missing gpg must not leave it waiting.
    if (!startKeyGeneration(this))
        emit error(tr("Cannot start gpg to generate a key pair. Is GnuPG installed and on the PATH?"));
}

void PrivKeysModel::keyPairGenerated()
{
    QSqlRecord row = database().record(tableName());
    const auto keys = takeSecretKeys();
    if (keys.isEmpty()) {
        QString text = tr("Error while generating PGP key pair");
        if (isAgentFailure(keyGenerationErrors(this))) {
            text += QLatin1Char('\n')
                + tr("gpg could not reach its agent. This happens when the path of its home directory %1 is "
                     "too long for the agent's socket; a shorter home directory path avoids it.")
                      .arg(gpgHomeDir());
        }
        emit error(text);
        return;
    }
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        row.setValue(QStringLiteral("fpr"), it.key());
        row.setValue(QStringLiteral("private"), it.value().first);
        row.setValue(QStringLiteral("public"), it.value().second);
        // A fingerprint that is stored already makes this insertion fail, which is fine.
        insertRecord(-1, row);
    }
    submitAll();
    select();
    emit genKeyPairCompleted();
}

QString PrivKeysModel::uploadPublicKey(int index)
{
    if (index < 0 || index >= rowCount()) {
        emit error(tr("There is no own key at position %1 to upload").arg(index));
        return QString();
    }
    NetworkManager network;
    const QSqlRecord row = record(index);
    const QByteArray publicKey = row.value(QStringLiteral("public")).toByteArray();
    const QString fpr = row.value(QStringLiteral("fpr")).toString();

    QByteArray body = QCryptographicHash::hash(publicKey, QCryptographicHash::Md5);
    body.append(QByteArray::fromHex(fpr.toLatin1()));
    body.append(publicKey);

    const QByteArray reply = network.request(QStringLiteral("/upload-pubkey"), body, 20000);
    if (reply.isEmpty()) {
        emit error(tr("Cannot get server response"));
        return QString();
    }
    const QJsonObject object = QJsonDocument::fromJson(reply).object();
    if (object.contains(QStringLiteral("error"))) {
        emit error(object.value(QStringLiteral("error")).toString());
        return QString();
    }
    if (!object.contains(QStringLiteral("keyId"))) {
        emit error(tr("Unknown server response"));
        return QString();
    }
    const QString keyId = object.value(QStringLiteral("keyId")).toString();
    if (keyId.isEmpty()) {
        emit error(tr("Invalid key id in response"));
        return QString();
    }
    // Keyed on the fingerprint: several own keys may still share a NULL key id.
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE key_data SET remote_key_id = ? WHERE fpr = ?"));
    query.bindValue(0, keyId);
    query.bindValue(1, fpr);
    query.exec();
    select();
    return keyId;
}

QString PrivKeysModel::remoteKeyId(int index)
{
    if (index < 0 || index >= rowCount())
        return QString();
    return record(index).value(QStringLiteral("remote_key_id")).toString();
}

#include "models/PubKeysModel.h"

#include "net/NetworkManager.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

constexpr int kTimeoutMs = 20000;

} // namespace

PubKeysModel::PubKeysModel(QObject* parent, QSqlDatabase db)
    : BaseKeysModel(parent, db)
{
    setFilter(QStringLiteral("private IS NULL"));
    setSort(1, Qt::AscendingOrder);
    select();
}

QString PubKeysModel::normalizeKeyId(const QString& keyId)
{
    static const QRegularExpression nonDigits(QStringLiteral("[^0-9]"));
    return QString(keyId).remove(nonDigits);
}

QString PubKeysModel::attachKey(const QString& keyId, const QString& title)
{
    const QString id = normalizeKeyId(keyId);
    QByteArray body(1, static_cast<char>(id.size() & 0xff));
    body.append(id.toLatin1());
    body.append(title.toUtf8());

    NetworkManager network;
    const QByteArray reply = network.request(QStringLiteral("/attach-key"), body, kTimeoutMs);
    if (reply.isEmpty()) {
        emit error(tr("Cannot get server response"));
        return QString();
    }
    const QJsonObject object = QJsonDocument::fromJson(reply).object();
    if (object.contains(QStringLiteral("error"))) {
        emit error(object.value(QStringLiteral("error")).toString());
        return QString();
    }
    const QString confirmed = object.value(QStringLiteral("keyId")).toString();
    if (confirmed.isEmpty()) {
        emit error(tr("Invalid server response"));
        return QString();
    }
    return confirmed;
}

bool PubKeysModel::addPubKey(QString keyId)
{
    const QString id = attachKey(keyId, QString());
    if (id.isEmpty()) {
        emit contactNotFound();
        return false;
    }
    QSqlRecord row = record();
    row.setValue(QStringLiteral("remote_key_id"), id);
    if (!insertRecord(-1, row)) {
        emit contactError(tr("You already have this contact"));
        return false;
    }
    submitAll();
    select();
    return true;
}

bool PubKeysModel::setKeyTitle(QString keyId, QString title)
{
    const QString id = attachKey(keyId, title);
    if (id.isEmpty())
        return false;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE key_data SET key_alias = ? WHERE remote_key_id = ?"));
    query.bindValue(0, title);
    query.bindValue(1, id);
    if (!query.exec())
        return false;
    select();
    return true;
}

void PubKeysModel::downloadPubKey(QString keyId)
{
    NetworkManager network;
    const QByteArray reply
        = network.request(QStringLiteral("/download-pubkey"), normalizeKeyId(keyId).toLatin1(), kTimeoutMs);
    if (reply.isEmpty()) {
        emit error(tr("Cannot get server response"));
        return;
    }
    const QJsonObject object = QJsonDocument::fromJson(reply).object();
    if (object.contains(QStringLiteral("error"))) {
        emit error(object.value(QStringLiteral("error")).toString());
        return;
    }
    if (!object.contains(QStringLiteral("keyData"))) {
        emit error(tr("Invalid server response"));
        return;
    }
    const QString id = object.value(QStringLiteral("keyId")).toString();
    const QString fpr = object.value(QStringLiteral("fpr")).toString().toUpper();
    const QByteArray key
        = QByteArray::fromBase64(object.value(QStringLiteral("keyData")).toString().toLatin1());
    if (id.isEmpty() || fpr.isEmpty() || key.isEmpty()) {
        emit error(tr("Invalid key data in response"));
        return;
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE key_data SET fpr=?, public=? WHERE remote_key_id = ?"));
    query.bindValue(0, fpr);
    query.bindValue(1, key);
    query.bindValue(2, id);
    if (!query.exec()) {
        emit error(tr("Cannot update key data"));
        return;
    }
    emit keyDownloaded(fpr);
}

bool PubKeysModel::deletePubKey(int index)
{
    if (index < 0 || index >= rowCount())
        return false;
    const bool removed = removeRow(index);
    if (removed)
        select();
    return removed;
}

QVariantMap PubKeysModel::contactDetails(int index)
{
    const QSqlRecord row = record(index);
    return {{QStringLiteral("title"), row.value(QStringLiteral("key_alias"))},
            {QStringLiteral("keyId"), row.value(QStringLiteral("remote_key_id"))}};
}

QString PubKeysModel::contactTitle(QString keyId)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT key_alias FROM key_data WHERE remote_key_id = ?"));
    query.bindValue(0, keyId);
    if (query.exec() && query.next())
        return query.value(0).toString();
    return QString();
}

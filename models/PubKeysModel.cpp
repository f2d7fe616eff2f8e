#include "models/PubKeysModel.h"

#include "net/RelayClient.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

PubKeysModel::PubKeysModel(QObject* parent, QSqlDatabase db)
    : BaseKeysModel(parent, db)
    , m_relay(new RelayClient(this))
{
    setFilter(QStringLiteral("private IS NULL"));
    setSort(1, Qt::AscendingOrder);
    select();
}

RelayCall* PubKeysModel::fetchKey(RelayClient* relay, const QString& keyId, QObject* context,
                                  std::function<void(const QString& fpr, const QString& error)> done)
{
    return relay->downloadPubKey(
        keyId, context, [done](const RelayClient::Result<RelayClient::PublicKey>& key) {
            if (!key.ok())
                return done(QString(), key.error);
            QSqlQuery query;
            query.prepare(QStringLiteral("UPDATE key_data SET fpr=?, public=? WHERE remote_key_id = ?"));
            query.bindValue(0, key.value.fpr);
            query.bindValue(1, key.value.key);
            query.bindValue(2, key.value.keyId);
            if (!query.exec())
                return done(QString(), tr("Cannot update key data"));
            done(key.value.fpr, QString());
        });
}

QString PubKeysModel::contactIdError(const QString& keyId)
{
    if (std::any_of(keyId.cbegin(), keyId.cend(), [](QChar c) { return c.isLetter(); }))
        return tr("An ID is made of digits only");
    const QString digits = RelayClient::normalizeKeyId(keyId);
    if (digits.isEmpty())
        return tr("Enter the ID of the contact");
    QSqlQuery own;
    own.prepare(QStringLiteral("SELECT 1 FROM key_data WHERE remote_key_id = ? AND private IS NOT NULL"));
    own.addBindValue(digits);
    if (own.exec() && own.next())
        return tr("This is your own ID");
    return QString();
}

void PubKeysModel::addPubKey(QString keyId)
{
    const QString problem = contactIdError(keyId);
    if (!problem.isEmpty())
        return emit contactError(problem);
    m_relay->attachKey(keyId, QString(), this, [this](const RelayClient::Result<QString>& id) {
        if (!id.ok()) {
            emit error(id.error);
            emit contactNotFound();
            return;
        }
        QSqlRecord row = record();
        row.setValue(QStringLiteral("remote_key_id"), id.value);
        if (!insertRecord(-1, row)) {
            revertAll();
            emit contactError(tr("You already have this contact"));
            return;
        }
        submitAll();
        select();
        emit contactAdded(id.value);
    });
}

void PubKeysModel::setKeyTitle(QString keyId, QString title)
{
    m_relay->attachKey(keyId, title, this, [this, title](const RelayClient::Result<QString>& id) {
        if (!id.ok())
            return emit error(id.error);
        QSqlQuery query(database());
        query.prepare(QStringLiteral("UPDATE key_data SET key_alias = ? WHERE remote_key_id = ?"));
        query.bindValue(0, title);
        query.bindValue(1, id.value);
        if (!query.exec())
            return emit error(tr("Cannot update key data"));
        select();
        emit keyTitleSet(id.value);
    });
}

bool PubKeysModel::select()
{
    const bool ok = BaseKeysModel::select();
    ++m_revision;
    emit contactsChanged();
    return ok;
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

namespace {

QString titleOf(const QSqlDatabase& db, const QString& keyId)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT key_alias FROM key_data WHERE remote_key_id = ?"));
    query.bindValue(0, keyId);
    if (query.exec() && query.next())
        return query.value(0).toString();
    return QString();
}

} // namespace

QString PubKeysModel::displayName(const QString& keyId)
{
    const QString title = titleOf(QSqlDatabase::database(), keyId);
    return title.isEmpty() ? keyId : title;
}

QString PubKeysModel::contactTitle(QString keyId)
{
    return titleOf(database(), keyId);
}

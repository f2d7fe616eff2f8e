#include "models/PubKeysModel.h"

#include "models/ContactKeys.h"
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
        QSqlQuery known(database());
        known.prepare(QStringLiteral("SELECT 1 FROM key_data WHERE remote_key_id = ?"));
        known.addBindValue(id.value);
        if (!known.exec() || known.next())
            return emit contactError(tr("You already have this contact"));
        // The key is pinned at once: later answers of the relay are checked against it.
        ContactKeys::fetch(m_relay, id.value, this, [this](const ContactKeys::Fetched& key) {
            select();
            if (!key.error.isNull())
                return emit contactError(key.error);
            emit contactAdded(key.keyId);
        });
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

void PubKeysModel::acceptKey(QString keyId, QString fingerprint)
{
    ContactKeys::accept(m_relay, keyId, fingerprint, this, [this](const ContactKeys::Fetched& key) {
        select();
        if (!key.error.isNull())
            return emit error(key.error);
        emit keyAccepted(key.keyId);
    });
}

bool PubKeysModel::setVerified(QString keyId, bool verified)
{
    const bool stored = ContactKeys::setVerified(keyId, verified);
    select();
    return stored;
}

QVariantMap PubKeysModel::keyDetails(QString keyId)
{
    const QString fingerprint = ContactKeys::pinned(keyId);
    return {{QStringLiteral("fingerprint"), ContactKeys::grouped(fingerprint)},
            {QStringLiteral("safetyNumber"),
             ContactKeys::safetyNumber(ContactKeys::ownFingerprint(), fingerprint)},
            {QStringLiteral("verified"), ContactKeys::isVerified(keyId)},
            {QStringLiteral("trust"), ContactKeys::trustText(keyId)}};
}

QString PubKeysModel::trustText(QString keyId)
{
    return ContactKeys::trustText(keyId);
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

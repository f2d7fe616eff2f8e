#include "models/ContactKeys.h"

#include "gpg/Gpg.h"
#include "gpg/GpgProcess.h"
#include "net/RelayClient.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr int inspectTimeoutMs = 30000;

using Checked = std::function<void(const RelayClient::PublicKey& key, const QString& error)>;

// Fetches the key of keyId from the relay and has gpg look at it without importing it: done gets it
// only when it is what the relay says it is.
void download(RelayClient* relay, const QString& keyId, QObject* context, Checked done)
{
    const QString asked = RelayClient::normalizeKeyId(keyId);
    relay->downloadPubKey(
        asked, context, [asked, context, done](const RelayClient::Result<RelayClient::PublicKey>& answer) {
            if (!answer.ok())
                return done({}, answer.error);
            const RelayClient::PublicKey key = answer.value;
            if (key.keyId != asked)
                return done(
                    {},
                    ContactKeys::tr("The server answered with the key of %1 when asked for %2. It was not "
                                    "used.")
                        .arg(key.keyId, asked));
            GpgProcess::run(
                {QStringLiteral("--batch"), QStringLiteral("--with-colons"), QStringLiteral("--show-keys")},
                key.key, inspectTimeoutMs, context, [asked, key, done](const GpgProcess::Result& shown) {
                    if (!shown.ok || singlePublicKeyFingerprint(shown.out) != key.fpr)
                        return done({},
                                    ContactKeys::tr("The server sent an unusable key for %1. It was "
                                                    "not used.")
                                        .arg(asked));
                    done(key, QString());
                });
        });
}

// Pins key for its key id, in a row of its own when there is none; a new pin is not verified.
bool pin(const RelayClient::PublicKey& key)
{
    QSqlQuery query;
    query.prepare(
        QStringLiteral("UPDATE key_data SET fpr = ?, public = ?, verified = 0 WHERE remote_key_id = ? "
                       "AND private IS NULL"));
    query.addBindValue(key.fpr);
    query.addBindValue(key.key);
    query.addBindValue(key.keyId);
    if (!query.exec())
        return false;
    if (query.numRowsAffected() == 1)
        return true;
    query.prepare(
        QStringLiteral("INSERT INTO key_data (remote_key_id, fpr, public, verified) VALUES (?, ?, ?, 0)"));
    query.addBindValue(key.keyId);
    query.addBindValue(key.fpr);
    query.addBindValue(key.key);
    return query.exec();
}

QString hexDigits(const QString& text)
{
    static const QRegularExpression other(QStringLiteral("[^0-9A-F]"));
    return text.toUpper().remove(other);
}

} // namespace

void ContactKeys::fetch(RelayClient* relay, const QString& keyId, QObject* context, Callback done)
{
    download(relay, keyId, context, [done](const RelayClient::PublicKey& key, const QString& error) {
        Fetched result;
        result.keyId = key.keyId;
        result.error = error;
        if (!error.isNull())
            return done(result);
        result.fingerprint = pinned(key.keyId);
        if (result.fingerprint.isEmpty() && pin(key))
            result.fingerprint = key.fpr;
        else if (result.fingerprint.isEmpty())
            result.error = tr("Cannot update key data");
        else if (result.fingerprint != key.fpr)
            result.offered = key.fpr;
        if (!result.offered.isEmpty())
            result.error = changeText(key.keyId, result.fingerprint, result.offered);
        done(result);
    });
}

void ContactKeys::accept(RelayClient* relay, const QString& keyId, const QString& fingerprint,
                         QObject* context, Callback done)
{
    const QString accepted = hexDigits(fingerprint);
    download(
        relay, keyId, context, [done, accepted](const RelayClient::PublicKey& key, const QString& error) {
            Fetched result;
            result.keyId = key.keyId;
            result.error = error;
            if (error.isNull() && key.fpr != accepted)
                result.error
                    = tr("The server now offers the key %1 for %2, not the one you accepted. Nothing was "
                         "changed.")
                          .arg(grouped(key.fpr), key.keyId);
            else if (error.isNull() && !pin(key))
                result.error = tr("Cannot update key data");
            else if (error.isNull())
                result.fingerprint = key.fpr;
            done(result);
        });
}

QString ContactKeys::pinned(const QString& keyId)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT fpr FROM key_data WHERE remote_key_id = ?"));
    query.addBindValue(RelayClient::normalizeKeyId(keyId));
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

QStringList ContactKeys::fingerprints()
{
    QStringList all;
    QSqlQuery query(QStringLiteral("SELECT fpr FROM key_data WHERE fpr IS NOT NULL AND public IS NOT NULL"));
    while (query.next())
        all << query.value(0).toString();
    return all;
}

QString ContactKeys::ownFingerprint()
{
    // The key the relay names as this user's, the registered one shown as "Your ID".
    QSqlQuery query(
        QStringLiteral("SELECT fpr FROM key_data WHERE private IS NOT NULL AND remote_key_id IS NOT "
                       "NULL ORDER BY rowid LIMIT 1"));
    return query.next() ? query.value(0).toString() : QString();
}

bool ContactKeys::isVerified(const QString& keyId)
{
    QSqlQuery query;
    query.prepare(
        QStringLiteral("SELECT verified FROM key_data WHERE remote_key_id = ? AND fpr IS NOT NULL"));
    query.addBindValue(RelayClient::normalizeKeyId(keyId));
    return query.exec() && query.next() && query.value(0).toInt() == 1;
}

bool ContactKeys::setVerified(const QString& keyId, bool verified)
{
    QSqlQuery query;
    query.prepare(
        QStringLiteral("UPDATE key_data SET verified = ? WHERE remote_key_id = ? AND fpr IS NOT NULL "
                       "AND private IS NULL"));
    query.addBindValue(verified ? 1 : 0);
    query.addBindValue(RelayClient::normalizeKeyId(keyId));
    return query.exec() && query.numRowsAffected() == 1;
}

QString ContactKeys::grouped(const QString& fingerprint)
{
    QStringList groups;
    for (int i = 0; i < fingerprint.size(); i += 4)
        groups << fingerprint.mid(i, 4);
    return groups.join(QLatin1Char(' '));
}

QString ContactKeys::safetyNumber(const QString& fingerprint, const QString& otherFingerprint)
{
    QString first = hexDigits(fingerprint), second = hexDigits(otherFingerprint);
    if (first.size() != 40 || second.size() != 40)
        return QString();
    if (second < first)
        std::swap(first, second);
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromHex((first + second).toLatin1()),
                                                       QCryptographicHash::Sha512);
    QStringList groups;
    for (int group = 0; group < 12; ++group) {
        quint64 value = 0;
        for (int i = 0; i < 5; ++i)
            value = value << 8 | quint8(digest.at(group * 5 + i));
        groups << QString::number(value % 100000).rightJustified(5, QLatin1Char('0'));
    }
    return groups.join(QLatin1Char(' '));
}

QString ContactKeys::name(const QString& keyId)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT key_alias FROM key_data WHERE remote_key_id = ?"));
    query.addBindValue(keyId);
    const QString title = query.exec() && query.next() ? query.value(0).toString() : QString();
    return title.isEmpty() ? keyId : title;
}

QString ContactKeys::trustText(const QString& keyId)
{
    if (pinned(keyId).isEmpty())
        return tr("Not among your contacts: nothing confirms who this is");
    if (isVerified(keyId))
        return tr("Verified: you compared the safety number");
    return tr("Not verified: compare the safety number on the contact's page");
}

QString ContactKeys::signatureText(const QString& signer, bool withName)
{
    if (signer.isEmpty())
        return tr("Not signed: nothing confirms who sent it");
    QSqlQuery query;
    query.prepare(
        QStringLiteral("SELECT remote_key_id, private IS NOT NULL, verified FROM key_data WHERE fpr = ?"));
    query.addBindValue(signer);
    if (!query.exec() || !query.next())
        return withName ? unknownSignerText() : tr("Signed, not verified");
    if (query.value(1).toBool())
        return tr("Signed by you");
    const bool verified = query.value(2).toInt() == 1;
    if (!withName)
        return verified ? tr("Signed, verified") : tr("Signed, not verified");
    const QString who = name(query.value(0).toString());
    return verified ? tr("Signed by %1, verified").arg(who) : tr("Signed by %1, not verified").arg(who);
}

QString ContactKeys::unknownSignerText()
{
    return tr("Signed by a key that is not among your contacts");
}

QString ContactKeys::changeText(const QString& keyId, const QString& pinnedFingerprint,
                                const QString& offered)
{
    return tr("The key of %1 has changed, so nothing was sent. Pinned key: %2. Key offered now: %3. Accept "
              "the new "
              "key only once %1 has confirmed it, for example by comparing the safety number.")
        .arg(name(keyId), grouped(pinnedFingerprint), grouped(offered));
}

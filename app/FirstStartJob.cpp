#include "app/FirstStartJob.h"

#include "gpg/Gpg.h"
#include "gpg/GpgProcess.h"
#include "net/RelayClient.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

constexpr int gpgTimeoutMs = 30000;
// Generating a key takes seconds; a gpg that never comes back must not keep the user waiting.
constexpr int generationTimeoutMs = 300000;

} // namespace

FirstStartJob::FirstStartJob(RelayClient* relay, QObject* parent)
    : Job(parent)
    , m_relay(relay)
{
}

void FirstStartJob::run()
{
    QSqlQuery own(QStringLiteral("SELECT COUNT(*) FROM key_data WHERE private IS NOT NULL"));
    if (own.next() && own.value(0).toInt() > 0)
        return registerKey();
    generate();
}

void FirstStartJob::generate()
{
    emit stepStarted(Step::Generating);
    GpgProcess::run({QStringLiteral("--gen-key"), QStringLiteral("--batch")},
                    keyGenerationParameters(randomString()), generationTimeoutMs, this,
                    [this](const GpgProcess::Result& result) {
                        if (!isRunning())
                            return;
                        if (!result.started)
                            return fail(tr("Cannot start gpg to generate a key pair. Is GnuPG installed and "
                                           "on the PATH?"));
                        // Whether a key was made is told by the listing, not by the exit code.
                        m_generationErrors = result.err;
                        collect();
                    });
}

void FirstStartJob::collect()
{
    GpgProcess::run(
        {QStringLiteral("--with-fingerprint"), QStringLiteral("--with-colons"), QStringLiteral("-K")},
        QByteArray(), gpgTimeoutMs, this, [this](const GpgProcess::Result& result) {
            if (!isRunning())
                return;
            if (!result.ok)
                return fail(generationError());
            take(parseFingerprints(result.out), 0);
        });
}

void FirstStartJob::take(const QStringList& fingerprints, int index)
{
    if (index == fingerprints.size())
        return m_stored > 0 ? registerKey() : fail(generationError());
    // Every secret key in the home is taken, also one that an earlier run left behind; one whose
    // export fails stays there for the next run.
    const QString fpr = fingerprints.at(index);
    auto next = [this, fingerprints, index] { take(fingerprints, index + 1); };
    GpgProcess::run({QStringLiteral("--export"), fpr}, QByteArray(), gpgTimeoutMs, this,
                    [this, fpr, next](const GpgProcess::Result& publicKey) {
                        if (!isRunning())
                            return;
                        if (!publicKey.ok)
                            return next();
                        GpgProcess::run(
                            {QStringLiteral("--export-secret-keys"), fpr}, QByteArray(), gpgTimeoutMs, this,
                            [this, fpr, next, publicKey](const GpgProcess::Result& secretKey) {
                                if (!isRunning())
                                    return;
                                if (!secretKey.ok)
                                    return next();
                                QSqlQuery insert;
                                insert.prepare(QStringLiteral(
                                    "INSERT INTO key_data (fpr, private, public) VALUES (?, ?, ?)"));
                                insert.addBindValue(fpr);
                                insert.addBindValue(secretKey.out);
                                insert.addBindValue(publicKey.out);
                                // A fingerprint stored already makes the insertion fail, which is fine.
                                insert.exec();
                                ++m_stored;
                                GpgProcess::run({QStringLiteral("--batch"), QStringLiteral("--yes"),
                                                 QStringLiteral("--delete-secret-and-public-key"), fpr},
                                                QByteArray(), gpgTimeoutMs, this,
                                                [this, next](const GpgProcess::Result&) {
                                                    if (isRunning())
                                                        next();
                                                });
                            });
                    });
}

void FirstStartJob::registerKey()
{
    QSqlQuery own(QStringLiteral(
        "SELECT fpr, public, remote_key_id FROM key_data WHERE private IS NOT NULL ORDER BY rowid"));
    if (!own.next())
        return fail(generationError());
    const QString fpr = own.value(0).toString();
    const QString keyId = own.value(2).toString();
    if (!keyId.isEmpty()) {
        if (succeed())
            emit succeeded(keyId);
        return;
    }
    emit stepStarted(Step::Registering);
    m_relay->uploadPubKey(
        own.value(1).toByteArray(), fpr, this, [this, fpr](const RelayClient::Result<QString>& id) {
            if (!id.ok())
                return fail(id.error);
            // Keyed on the fingerprint: several own keys may still share a NULL key id.
            QSqlQuery update;
            update.prepare(QStringLiteral("UPDATE key_data SET remote_key_id = ? WHERE fpr = ?"));
            update.addBindValue(id.value);
            update.addBindValue(fpr);
            update.exec();
            if (succeed())
                emit succeeded(id.value);
        });
}

QString FirstStartJob::generationError() const
{
    QString text = tr("Error while generating PGP key pair");
    if (isAgentFailure(m_generationErrors))
        text += QLatin1Char('\n')
            + tr("gpg could not reach its agent. This happens when the path of its home directory %1 is too "
                 "long "
                 "for the agent's socket; a shorter home directory path avoids it.")
                  .arg(gpgHomeDir());
    return text;
}

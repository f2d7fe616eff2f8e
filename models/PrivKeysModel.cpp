#include "models/PrivKeysModel.h"

#include "app/FirstStartJob.h"
#include "models/ContactKeys.h"
#include "net/RelayClient.h"

#include <QSqlRecord>

PrivKeysModel::PrivKeysModel(QObject* parent, QSqlDatabase db)
    : BaseKeysModel(parent, db)
    , m_relay(new RelayClient(this))
{
    setFilter(QStringLiteral("private IS NOT NULL"));
    select();
}

void PrivKeysModel::genKeyPair()
{
    auto* job = new FirstStartJob(m_relay, this);
    connect(job, &Job::stepStarted, this, [this](Job::Step step) {
        if (step == Job::Step::Registering) {
            select();
            emit genKeyPairCompleted();
        }
    });
    connect(job, &FirstStartJob::succeeded, this, [this, job](const QString& keyId) {
        select();
        job->deleteLater();
        emit keyRegistered(keyId);
    });
    connect(job, &Job::failed, this, [this, job](const QString& text) {
        select();
        job->deleteLater();
        emit error(text);
    });
    job->start();
}

QString PrivKeysModel::remoteKeyId(int index)
{
    if (index < 0 || index >= rowCount())
        return QString();
    return record(index).value(QStringLiteral("remote_key_id")).toString();
}

QString PrivKeysModel::fingerprint()
{
    return ContactKeys::grouped(ContactKeys::ownFingerprint());
}

#pragma once

#include "app/Job.h"

#include <QByteArray>
#include <QStringList>

class RelayClient;

// Gives the user a key pair registered with the relay: gpg generates one when none is stored (and
// everything it holds is collected into key_data and removed from its home), then the public key
// is registered unless the relay has given it a key id already. Ends with the user's key id.
class FirstStartJob : public Job
{
    Q_OBJECT
public:
    explicit FirstStartJob(RelayClient* relay, QObject* parent = nullptr);

signals:
    void succeeded(QString keyId);

protected:
    void run() override;

private:
    void generate();
    void collect();
    // Exports, stores and deletes the keys from index on.
    void take(const QStringList& fingerprints, int index);
    void registerKey();
    QString generationError() const;

    RelayClient* m_relay;
    QByteArray m_generationErrors;
    int m_stored = 0;
};

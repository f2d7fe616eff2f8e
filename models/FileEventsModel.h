#pragma once

#include "models/BaseSqlModel.h"

class RelayClient;

// The history of sent and received containers (table file_events), newest first, and the check
// which sent containers were meanwhile delivered or rejected.
class FileEventsModel : public BaseSqlModel
{
    Q_OBJECT
public:
    enum Status
    {
        Received = 0,
        Rejected = 1,
        WaitDeliver = 2,
        Delivered = 3
    };
    Q_ENUM(Status)

    // No connection given: the application's default database connection.
    explicit FileEventsModel(QObject* parent = nullptr, QSqlDatabase db = QSqlDatabase());

    // Adds a row on the default connection, for whoever is not this model. signer: of a received
    // container, the fingerprint of the key that signed it, or empty when it was not signed.
    static bool store(const QString& remoteKeyId, qint64 fileId, qint64 size, Status status,
                      const QString& signer = QString());

    // Also the role "signature": for a received container, who signed it, as a line to show.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    // checkDelivered() is over, whatever the relay said.
    void deliveryChecked();

public slots:
    void addEvent(QString remoteKeyId, int fileId, qlonglong size, Status status);
    // Asks the relay about every WaitDeliver row and moves them to Delivered or Rejected.
    void checkDelivered();

private:
    int signatureRole() const;

    RelayClient* m_relay;
    bool m_checking = false;
};

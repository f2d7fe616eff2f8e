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

    // Adds a row on the default connection, for whoever is not this model.
    static bool store(const QString& remoteKeyId, qint64 fileId, qint64 size, Status status);

signals:
    // checkDelivered() is over, whatever the relay said.
    void deliveryChecked();

public slots:
    void addEvent(QString remoteKeyId, int fileId, qlonglong size, Status status);
    // Asks the relay about every WaitDeliver row and moves them to Delivered or Rejected.
    void checkDelivered();

private:
    RelayClient* m_relay;
    bool m_checking = false;
};

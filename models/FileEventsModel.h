#pragma once

#include "models/BaseSqlModel.h"

#include <QPair>
#include <QVariantList>
#include <QVector>

class RelayClient;

// The history of sent and received containers (table file_events), newest first, with the files each
// one carried (table event_files), and the check which sent containers were meanwhile delivered or
// rejected.
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

    // Name (relative to the extraction folder, or as sent) and size of each file.
    using Files = QVector<QPair<QString, qint64>>;

    // Adds a row and its files on the default connection, for whoever is not this model. signer: of a
    // received container, the fingerprint of the key that signed it, or empty when it was not signed.
    // upload: an unfinished upload whose files (storeUploadFiles()) become the row's. Within the
    // caller's transaction when one is open.
    static bool store(const QString& remoteKeyId, qint64 fileId, qint64 size, Status status,
                      const QString& signer = QString(), const Files& files = Files(), qint64 upload = 0);
    // The files of an unfinished upload, kept until it is complete and becomes a row, or given up.
    static bool storeUploadFiles(qint64 upload, const Files& files);
    static void forgetUploadFiles(qint64 upload);

    // Also the role "signature": for a received container, who signed it, as a line to show.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;
    int signatureRole() const;

signals:
    // checkDelivered() is over, whatever the relay said.
    void deliveryChecked();

public slots:
    void addEvent(QString remoteKeyId, int fileId, qlonglong size, Status status);
    // Asks the relay about every WaitDeliver row and moves them to Delivered or Rejected.
    void checkDelivered();
    // The files of the event in row, each as {"name", "size"}, in container order.
    QVariantList files(int row);

protected:
    QString selectStatement() const override;

private:
    RelayClient* m_relay;
    bool m_checking = false;
};

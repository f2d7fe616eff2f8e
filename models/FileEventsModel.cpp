#include "models/FileEventsModel.h"

#include "models/ContactKeys.h"
#include "net/RelayClient.h"

#include <QDateTime>
#include <QSqlQuery>

FileEventsModel::FileEventsModel(QObject* parent, QSqlDatabase db)
    : BaseSqlModel(parent, db, QStringLiteral("file_events"))
    , m_relay(new RelayClient(this))
{
    setSort(0, Qt::DescendingOrder);
    select();
}

bool FileEventsModel::store(const QString& remoteKeyId, qint64 fileId, qint64 size, Status status,
                            const QString& signer)
{
    QSqlQuery insert;
    insert.prepare(QStringLiteral("INSERT INTO file_events (datetime, remote_key_id, file_id, status, size, "
                                  "signer) VALUES (?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
    insert.addBindValue(remoteKeyId);
    insert.addBindValue(fileId);
    insert.addBindValue(int(status));
    insert.addBindValue(size);
    insert.addBindValue(signer);
    return insert.exec();
}

QVariant FileEventsModel::data(const QModelIndex& index, int role) const
{
    if (role != signatureRole())
        return BaseSqlModel::data(index, role);
    const QVariant signer
        = BaseSqlModel::data(index, Qt::UserRole + 1 + fieldIndex(QStringLiteral("signer")));
    return signer.isNull() ? QString() : ContactKeys::signatureText(signer.toString(), false);
}

QHash<int, QByteArray> FileEventsModel::roleNames() const
{
    QHash<int, QByteArray> names = BaseSqlModel::roleNames();
    names.insert(signatureRole(), QByteArrayLiteral("signature"));
    return names;
}

int FileEventsModel::signatureRole() const
{
    return Qt::UserRole + 1 + columnCount();
}

void FileEventsModel::addEvent(QString remoteKeyId, int fileId, qlonglong size, Status status)
{
    store(remoteKeyId, fileId, size, status);
    select();
}

void FileEventsModel::checkDelivered()
{
    QSqlQuery waiting(database());
    waiting.prepare(QStringLiteral("SELECT file_id FROM file_events WHERE status = ?"));
    waiting.addBindValue(int(WaitDeliver));
    waiting.exec();
    QList<qint64> ids;
    while (waiting.next())
        ids.append(waiting.value(0).toLongLong());
    if (ids.isEmpty()) {
        // Reported from the event loop like an answer of the relay would be.
        QMetaObject::invokeMethod(this, &FileEventsModel::deliveryChecked, Qt::QueuedConnection);
        return;
    }
    // A timer may fire again while the relay has not answered yet: one question at a time.
    if (m_checking)
        return;
    m_checking = true;
    m_relay->checkDelivered(
        ids, this, [this](const RelayClient::Result<QList<RelayClient::Delivery>>& answer) {
            m_checking = false;
            for (const RelayClient::Delivery& delivery : answer.value) {
                QSqlQuery update(database());
                update.prepare(
                    QStringLiteral("UPDATE file_events SET status = ? WHERE file_id = ? AND status = ?"));
                update.addBindValue(int(delivery.rejected ? Rejected : Delivered));
                update.addBindValue(delivery.fileId);
                update.addBindValue(int(WaitDeliver));
                update.exec();
            }
            select();
            emit deliveryChecked();
        });
}

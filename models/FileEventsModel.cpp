#include "models/FileEventsModel.h"

#include "models/ContactKeys.h"
#include "net/RelayClient.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>

FileEventsModel::FileEventsModel(QObject* parent, QSqlDatabase db)
    : BaseSqlModel(parent, db, QStringLiteral("file_events"))
    , m_relay(new RelayClient(this))
{
    setSort(0, Qt::DescendingOrder);
    select();
}

namespace {

// The files of an event are stored under its rowid; those of an unfinished upload under minus its id.
bool insertFiles(const QSqlDatabase& db, const QVariant& event, const FileEventsModel::Files& files)
{
    QSqlQuery file(db);
    file.prepare(QStringLiteral("INSERT INTO event_files (event, name, size) VALUES (?, ?, ?)"));
    bool ok = true;
    for (int i = 0; ok && i < files.size(); ++i) {
        file.bindValue(0, event);
        file.bindValue(1, files.at(i).first);
        file.bindValue(2, files.at(i).second);
        ok = file.exec();
    }
    return ok;
}

// Runs write in a transaction of its own, unless the caller has one open: then it is the caller's.
bool inTransaction(const std::function<bool(QSqlDatabase&)>& write)
{
    QSqlDatabase db = QSqlDatabase::database();
    const bool own = db.transaction();
    const bool ok = write(db);
    if (!own)
        return ok;
    if (ok)
        return db.commit();
    db.rollback();
    return false;
}

bool storeEvent(QSqlDatabase& db, const QString& remoteKeyId, qint64 fileId, qint64 size,
                FileEventsModel::Status status, const QString& signer, const FileEventsModel::Files& files,
                qint64 upload)
{
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO file_events (datetime, remote_key_id, file_id, status, size, "
                                  "signer) VALUES (?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
    insert.addBindValue(remoteKeyId);
    insert.addBindValue(fileId);
    insert.addBindValue(int(status));
    insert.addBindValue(size);
    insert.addBindValue(signer);
    if (!insert.exec())
        return false;
    const QVariant event = insert.lastInsertId();
    if (!upload)
        return insertFiles(db, event, files);
    QSqlQuery adopt(db);
    adopt.prepare(QStringLiteral("UPDATE event_files SET event = ? WHERE event = ?"));
    adopt.addBindValue(event);
    adopt.addBindValue(-upload);
    return adopt.exec() && insertFiles(db, event, files);
}

} // namespace

bool FileEventsModel::storeUploadFiles(qint64 upload, const Files& files)
{
    return inTransaction([&](QSqlDatabase& db) { return insertFiles(db, -upload, files); });
}

void FileEventsModel::forgetUploadFiles(qint64 upload)
{
    QSqlQuery forget;
    forget.prepare(QStringLiteral("DELETE FROM event_files WHERE event = ?"));
    forget.addBindValue(-upload);
    forget.exec();
}

bool FileEventsModel::store(const QString& remoteKeyId, qint64 fileId, qint64 size, Status status,
                            const QString& signer, const Files& files, qint64 upload)
{
    // One transaction: the event with all its files or nothing, and thousands of files written at once.
    return inTransaction([&](QSqlDatabase& db) {
        return storeEvent(db, remoteKeyId, fileId, size, status, signer, files, upload);
    });
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

QString FileEventsModel::selectStatement() const
{
    // The rowid, one column behind the table's own, names the event in event_files.
    QString statement = BaseSqlModel::selectStatement();
    const int from = statement.indexOf(QLatin1String(" FROM "));
    if (from > 0)
        statement.insert(from, QStringLiteral(", rowid"));
    return statement;
}

QVariantList FileEventsModel::files(int row)
{
    QVariantList list;
    if (row < 0 || row >= rowCount())
        return list;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT name, size FROM event_files WHERE event = ? ORDER BY rowid"));
    query.addBindValue(record(row).value(QStringLiteral("rowid")));
    query.exec();
    while (query.next())
        list.append(QVariantMap {{QStringLiteral("name"), query.value(0).toString()},
                                 {QStringLiteral("size"), query.value(1).toDouble()}});
    return list;
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

#include "models/FileEventsModel.h"

#include "net/NetworkManager.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>

FileEventsModel::FileEventsModel(QObject* parent, QSqlDatabase db)
    : BaseSqlModel(parent, db, QStringLiteral("file_events"))
{
    setSort(0, Qt::DescendingOrder);
    select();
}

void FileEventsModel::addEvent(QString remoteKeyId, int fileId, qlonglong size, Status status)
{
    QSqlRecord row = record();
    row.setValue(QStringLiteral("datetime"), QDateTime::currentDateTime().toString(Qt::ISODate));
    row.setValue(QStringLiteral("remote_key_id"), remoteKeyId);
    row.setValue(QStringLiteral("file_id"), fileId);
    row.setValue(QStringLiteral("status"), int(status));
    row.setValue(QStringLiteral("size"), size);
    insertRecord(-1, row);
    submitAll();
    select();
}

void FileEventsModel::checkDelivered()
{
    QSqlQuery waiting(database());
    waiting.prepare(QStringLiteral("SELECT file_id FROM file_events WHERE status = ?"));
    waiting.addBindValue(int(WaitDeliver));
    waiting.exec();
    QJsonArray ids;
    while (waiting.next())
        ids.append(waiting.value(0).toLongLong());
    if (ids.isEmpty())
        return;

    NetworkManager network;
    const QByteArray reply = network.request(QStringLiteral("/check-delivered"),
                                             QJsonDocument(ids).toJson(QJsonDocument::Compact), 20000);
    const QJsonArray answers = QJsonDocument::fromJson(reply).array();
    for (const QJsonValue& value : answers) {
        const QJsonObject answer = value.toObject();
        const bool rejected = answer.value(QStringLiteral("rejected")).toBool(false);
        QSqlQuery update(database());
        update.prepare(QStringLiteral("UPDATE file_events SET status = ? WHERE file_id = ? AND status = ?"));
        update.addBindValue(int(rejected ? Rejected : Delivered));
        update.addBindValue(qint64(answer.value(QStringLiteral("fileId")).toDouble()));
        update.addBindValue(int(WaitDeliver));
        update.exec();
    }
    select();
}

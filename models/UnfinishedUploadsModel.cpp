#include "models/UnfinishedUploadsModel.h"

#include "app/Startup.h"
#include "models/FileEventsModel.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>

UnfinishedUploadsModel::UnfinishedUploadsModel(QObject* parent, QSqlDatabase db)
    : BaseSqlModel(parent, db, QStringLiteral("unfinished_uploads"))
{
    QSet<QString> kept;
    QSqlQuery rows(QStringLiteral("SELECT upload_id FROM unfinished_uploads"), database());
    QList<qint64> missing;
    while (rows.next()) {
        const qint64 id = rows.value(0).toLongLong();
        if (QFileInfo::exists(containerPath(id)))
            kept.insert(QFileInfo(containerPath(id)).fileName());
        else
            missing.append(id);
    }
    for (qint64 id : missing)
        remove(id);
    const QStringList files = QDir(folder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : files) {
        if (!kept.contains(name))
            QFile::remove(folder() + QLatin1Char('/') + name);
    }
    setSort(0, Qt::AscendingOrder);
    select();
}

void UnfinishedUploadsModel::createTable()
{
    QSqlQuery query;
    query.exec(
        QStringLiteral("CREATE TABLE IF NOT EXISTS unfinished_uploads (upload_id INTEGER PRIMARY KEY "
                       "AUTOINCREMENT, datetime TEXT, remote_key_id TEXT, size INTEGER, upload_url TEXT)"));
}

QString UnfinishedUploadsModel::folder()
{
    return Startup::dataDirPath() + QStringLiteral("/uploads");
}

QString UnfinishedUploadsModel::containerPath(qint64 id)
{
    return folder() + QStringLiteral("/%1.tsyc").arg(id);
}

qint64 UnfinishedUploadsModel::add(const QString& keyId, qint64 size)
{
    if (!QDir().mkpath(folder())
        || !QFile::setPermissions(folder(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return 0;
    QSqlQuery insert;
    insert.prepare(QStringLiteral(
        "INSERT INTO unfinished_uploads (datetime, remote_key_id, size, upload_url) VALUES (?, ?, ?, '')"));
    insert.addBindValue(QDateTime::currentDateTime().toString(Qt::ISODate));
    insert.addBindValue(keyId);
    insert.addBindValue(size);
    return insert.exec() ? insert.lastInsertId().toLongLong() : 0;
}

UnfinishedUploadsModel::Upload UnfinishedUploadsModel::find(qint64 id)
{
    QSqlQuery query;
    query.prepare(
        QStringLiteral("SELECT remote_key_id, size, upload_url FROM unfinished_uploads WHERE upload_id = ?"));
    query.addBindValue(id);
    Upload upload;
    if (query.exec() && query.next())
        upload = {id, query.value(0).toString(), query.value(1).toLongLong(), query.value(2).toString(),
                  containerPath(id)};
    return upload;
}

bool UnfinishedUploadsModel::setUrl(qint64 id, const QString& url)
{
    QSqlQuery update;
    update.prepare(QStringLiteral("UPDATE unfinished_uploads SET upload_url = ? WHERE upload_id = ?"));
    update.addBindValue(url);
    update.addBindValue(id);
    return update.exec();
}

bool UnfinishedUploadsModel::complete(qint64 id, qint64 fileId)
{
    const Upload upload = find(id);
    if (!upload.id)
        return false;
    // Recorded as sent and forgotten here in one step: a second look at the relay finds nothing to
    // record twice.
    QSqlDatabase db = QSqlDatabase::database();
    db.transaction();
    if (!upload.keyId.isEmpty())
        FileEventsModel::store(upload.keyId, fileId, upload.size, FileEventsModel::WaitDeliver, QString(), {},
                               id);
    QSqlQuery forget;
    forget.prepare(QStringLiteral("DELETE FROM unfinished_uploads WHERE upload_id = ?"));
    forget.addBindValue(id);
    const bool done = forget.exec() && db.commit();
    if (!done)
        db.rollback();
    QFile::remove(upload.container);
    return done;
}

void UnfinishedUploadsModel::remove(qint64 id)
{
    QFile::remove(containerPath(id));
    FileEventsModel::forgetUploadFiles(id);
    QSqlQuery forget;
    forget.prepare(QStringLiteral("DELETE FROM unfinished_uploads WHERE upload_id = ?"));
    forget.addBindValue(id);
    forget.exec();
}

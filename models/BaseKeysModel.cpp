#include "models/BaseKeysModel.h"

#include <QSqlQuery>
#include <QSqlRecord>

BaseKeysModel::BaseKeysModel(QObject* parent, QSqlDatabase db)
    : BaseSqlModel(parent, db, QStringLiteral("key_data"))
{
}

bool BaseKeysModel::editKeyAlias(int index, QString alias)
{
    if (index < 0 || index >= rowCount())
        return false;

    // Own keys are stored before the server gives them a key id, and SQLite lets any number of rows
    // hold NULL there; a write keyed on that column would rename all of them. Such a row is found
    // by its fingerprint, which is unique.
    const QSqlRecord row = record(index);
    const bool byKeyId = !row.isNull(QStringLiteral("remote_key_id"));
    QSqlQuery query(database());
    query.prepare(byKeyId ? QStringLiteral("UPDATE key_data SET key_alias = ? WHERE remote_key_id = ?")
                          : QStringLiteral("UPDATE key_data SET key_alias = ? WHERE fpr = ?"));
    query.bindValue(0, alias);
    query.bindValue(1, row.value(byKeyId ? QStringLiteral("remote_key_id") : QStringLiteral("fpr")));
    if (!query.exec() || query.numRowsAffected() != 1)
        return false;
    select();
    return true;
}

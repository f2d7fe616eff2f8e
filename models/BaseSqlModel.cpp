#include "models/BaseSqlModel.h"

#include <QSqlRecord>

BaseSqlModel::BaseSqlModel(QObject* parent, QSqlDatabase db, const QString& table)
    : QSqlTableModel(parent, db.isValid() ? db : QSqlDatabase::database())
{
    setTable(table);
    for (int i = 0; i < columnCount(); ++i)
        roles.insert(Qt::UserRole + 1 + i,
                     headerData(i, Qt::Horizontal, Qt::DisplayRole).toString().toUtf8());
}

QVariant BaseSqlModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    if (role < Qt::UserRole)
        return QSqlTableModel::data(index, role);
    const int column = role - Qt::UserRole - 1;
    if (column < 0 || column >= columnCount())
        return QVariant();
    return QSqlTableModel::data(this->index(index.row(), column), Qt::DisplayRole);
}

QHash<int, QByteArray> BaseSqlModel::roleNames() const
{
    return roles;
}

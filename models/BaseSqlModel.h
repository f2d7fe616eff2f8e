#pragma once

#include <QHash>
#include <QSqlTableModel>

// A table model over one table of the default connection that exposes column i under the role
// Qt::UserRole + 1 + i, named after the column, so QML delegates read fields by column name.
class BaseSqlModel : public QSqlTableModel
{
    Q_OBJECT
public:
    BaseSqlModel(QObject* parent, QSqlDatabase db, const QString& table);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

protected:
    QHash<int, QByteArray> roles;
};

#pragma once

#include "models/BaseSqlModel.h"

// The rows of key_data, the common base of the own-keys and the contacts model.
class BaseKeysModel : public BaseSqlModel
{
    Q_OBJECT
public:
    explicit BaseKeysModel(QObject* parent = nullptr, QSqlDatabase db = QSqlDatabase());

public slots:
    // Stores alias as the title of row index, locally only. False for a row that does not exist or
    // when the database refused the change.
    bool editKeyAlias(int index, QString alias);
};

#pragma once

#include "models/BaseKeysModel.h"

// The user's own key pairs: the rows of key_data that hold a secret key, in storage order.
class PrivKeysModel : public BaseKeysModel
{
    Q_OBJECT
public:
    explicit PrivKeysModel(QObject* parent = nullptr, QSqlDatabase db = QSqlDatabase());

signals:
    void genKeyPairCompleted();
    void error(QString text);

public slots:
    // Starts gpg's key generation in the background; keyPairGenerated() follows when it ends.
    void genKeyPair();
    // Collects every secret key from the GnuPG home directory into new rows.
    void keyPairGenerated();
    // Registers the public key of row index with the server; returns its key id, or a null string.
    QString uploadPublicKey(int index);
    QString remoteKeyId(int index);
};

#pragma once

#include "models/BaseKeysModel.h"

class RelayClient;

// The user's own key pairs: the rows of key_data that hold a secret key, in storage order.
class PrivKeysModel : public BaseKeysModel
{
    Q_OBJECT
public:
    explicit PrivKeysModel(QObject* parent = nullptr, QSqlDatabase db = QSqlDatabase());

signals:
    // The key pair exists; its registration with the relay follows.
    void genKeyPairCompleted();
    void keyRegistered(QString keyId);
    void error(QString text);

public slots:
    // Generates a key pair unless one is stored, then registers it unless it has a key id (the
    // first start): genKeyPairCompleted() and keyRegistered(), or error().
    void genKeyPair();
    QString remoteKeyId(int index);
    // The fingerprint of the key that signs what the user sends, in groups of four.
    QString fingerprint();

private:
    RelayClient* m_relay;
};

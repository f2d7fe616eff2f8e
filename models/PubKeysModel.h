#pragma once

#include "models/BaseKeysModel.h"

#include <QVariantMap>

// The contacts: the rows of key_data without a secret key, sorted by title.
class PubKeysModel : public BaseKeysModel
{
    Q_OBJECT
public:
    explicit PubKeysModel(QObject* parent = nullptr, QSqlDatabase db = QSqlDatabase());

    // keyId reduced to its ASCII digits, the form in which key ids go to the server.
    static QString normalizeKeyId(const QString& keyId);

signals:
    void error(QString text);
    void contactError(QString text);
    void contactNotFound();
    void keyDownloaded(QString fpr);

public slots:
    // Fetches the contact's current public key and stores it; keyDownloaded() on success.
    void downloadPubKey(QString keyId);
    bool deletePubKey(int index);
    bool addPubKey(QString keyId);
    bool setKeyTitle(QString keyId, QString title);
    QVariantMap contactDetails(int index);
    QString contactTitle(QString keyId);

private:
    // Asks the server to attach keyId (with title, when renaming) to this user; returns the key id
    // that the server confirmed, or an empty string after emitting error().
    QString attachKey(const QString& keyId, const QString& title);
};

#pragma once

#include "models/BaseSqlModel.h"

// The uploads that were begun and are not complete (table unfinished_uploads), oldest first. The
// container of each waits in the private data folder until the relay has all of it; the address
// of the upload on the relay is kept once the relay has made one.
class UnfinishedUploadsModel : public BaseSqlModel
{
    Q_OBJECT
public:
    struct Upload
    {
        qint64 id = 0; // 0: no such upload
        QString keyId; // the contact it goes to; empty when none was named
        qint64 size = 0;
        QString url; // empty until the relay has made the upload
        QString container;
    };

    // No connection given: the application's default database connection. Forgets uploads whose
    // container is gone, and containers that belong to no upload.
    explicit UnfinishedUploadsModel(QObject* parent = nullptr, QSqlDatabase db = QSqlDatabase());

    // Creates the table when it is missing.
    static void createTable();
    // HOME/.tessary2/uploads: the containers, owner-only.
    static QString folder();
    static QString containerPath(qint64 id);
    // Records an upload to keyId of size bytes; its container is to be put at containerPath(id).
    // 0 when it could not be recorded.
    static qint64 add(const QString& keyId, qint64 size);
    static Upload find(qint64 id);
    static bool setUrl(qint64 id, const QString& url);
    // The relay has all of it and gave it fileId: recorded as waiting for delivery (when it goes
    // to a contact) and forgotten here, container and all.
    static bool complete(qint64 id, qint64 fileId);
    // Forgets the upload and removes its container.
    static void remove(qint64 id);
};

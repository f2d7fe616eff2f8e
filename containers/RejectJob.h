#pragma once

#include "app/Job.h"

class RelayClient;

// Turns down a container that waits on the relay: the relay deletes it and tells its sender, and the
// refusal is recorded in this user's history as well.
class RejectJob : public Job
{
    Q_OBJECT
public:
    // size: the container's size as the relay announced it; uploaderKeyId: its sender, for the record.
    RejectJob(RelayClient* relay, const QString& fileId, qint64 size, const QString& uploaderKeyId,
              QObject* parent = nullptr);

    // What the person is asked before, and the name of the deed, for Prompter::confirm().
    static QString questionTitle();
    static QString question(const QString& sender, const QString& size);
    static QString questionAction();

signals:
    void succeeded();

protected:
    void run() override;

private:
    RelayClient* m_relay;
    QString m_fileId;
    qint64 m_size;
    QString m_uploaderKeyId;
};

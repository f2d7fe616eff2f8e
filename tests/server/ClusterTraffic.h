#pragma once

#include "RelayClient.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>

// Installations that send each other containers and collect theirs through two relays sharing one
// database, each call through either relay, several threads per installation: they register the
// same key together and collect from the same inbox, so they race each other for every container.
class ClusterTraffic
{
public:
    // One installation per key; installation i sends to i + 1.
    ClusterTraffic(const RelayClient& first, const RelayClient& second, const QVector<TestKey>& keys);

    // Runs `threads` client threads. Every key is registered before the first container is sent;
    // then each thread sends and collects while goOn(round, milliseconds since the start) says so,
    // and last collects what is left.
    void run(int threads, const std::function<bool(int round, qint64 elapsedMs)>& goOn);

    int calls() const { return m_calls; }
    int sent() const { return m_sent.size(); }
    // What went wrong: failed calls, a key with several ids, a container lost, collected twice or
    // changed on the way. Empty when all is well.
    QStringList problems() const;

private:
    void client(int thread, const std::function<bool(int, qint64)>& goOn);
    void fail(const QString& what);

    const RelayClient* m_relays[2];
    QVector<TestKey> m_keys;
    QVector<QUuid> m_who;
    std::mutex m_mutex;
    std::condition_variable m_registered;
    int m_unregistered = 0; // threads that have not registered their key yet
    int m_calls = 0;
    QHash<qint32, QByteArray> m_sent; // file id: digest of the container
    QHash<qint32, QByteArrayList> m_collected; // file id: digest of what came, per completion
    QVector<QSet<QString>> m_keyIds;
    QStringList m_errors;
};

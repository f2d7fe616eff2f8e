#include "ClusterTraffic.h"

#include <QCryptographicHash>
#include <QElapsedTimer>

#include <thread>

namespace {
QByteArray digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}
} // namespace

ClusterTraffic::ClusterTraffic(const RelayClient& first, const RelayClient& second,
                               const QVector<TestKey>& keys)
    : m_relays {&first, &second}
    , m_keys(keys)
    , m_keyIds(keys.size())
{
    for (int i = 0; i < keys.size(); ++i)
        m_who.append(QUuid::createUuid());
}

void ClusterTraffic::fail(const QString& what)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_errors << what;
}

void ClusterTraffic::run(int threads, const std::function<bool(int, qint64)>& goOn)
{
    m_unregistered = threads;
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([this, t, &goOn] { client(t, goOn); });
    for (std::thread& t : running)
        t.join();
    // Late senders may have put something in an inbox that its threads had already drained.
    for (int i = 0; i < m_who.size(); ++i) {
        for (const QJsonValue& entry : m_relays[0]->newFiles(m_who[i])) {
            const qint32 fileId = entry["fileId"].toInt();
            const QByteArray body = m_relays[1]->download(fileId).body;
            if (m_relays[0]->complete(m_who[i], fileId).success())
                m_collected[fileId] << digest(body);
        }
    }
}

void ClusterTraffic::client(int thread, const std::function<bool(int, qint64)>& goOn)
{
    const int installations = m_who.size();
    const int me = thread % installations, to = (me + 1) % installations;
    const QString keyId = m_relays[thread % 2]->registerKey(m_who[me], m_keys[me]);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_keyIds[me].insert(keyId);
        if (--m_unregistered == 0)
            m_registered.notify_all();
        // A container may only go to a key that is registered.
        m_registered.wait(lock, [this] { return m_unregistered == 0; });
    }
    QElapsedTimer clock;
    clock.start();
    bool draining = false;
    for (int round = 0;; ++round) {
        const RelayClient& any = *m_relays[(thread + round) % 2];
        const RelayClient& other = *m_relays[(thread + round + 1) % 2];
        int calls = 0;
        if (!draining) {
            const QByteArray container = RelayClient::container(
                RelayClient::randomBytes(16 * 1024 + round % 7 * 4096), m_keys[to].fingerprint);
            const RelayClient::Reply reply = any.upload(container, m_who[me]);
            const qint32 fileId = reply.object()["fileId"].toInt();
            ++calls;
            if (fileId <= 0) {
                fail(QString("send failed: %1 %2").arg(reply.status).arg(QString(reply.body)));
            } else {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_sent.insert(fileId, digest(container));
            }
        }
        const QJsonArray inbox = other.newFiles(m_who[me]);
        ++calls;
        // Two entries a round, from a place that differs by thread: the threads of one installation
        // overlap often enough to race, and none walks the whole list.
        for (int i = 0; i < qMin(2, inbox.size()); ++i) {
            const qint32 fileId = inbox[(thread / installations + i) % inbox.size()]["fileId"].toInt();
            const RelayClient::Reply body = any.download(fileId);
            const RelayClient::Reply done = other.complete(m_who[me], fileId);
            calls += 2;
            // Another thread may have taken it in the meantime: then both are refused or 404,
            // never an error of the server.
            if (done.success()) {
                // Compared at the end: the sender may not have its answer yet.
                std::lock_guard<std::mutex> lock(m_mutex);
                m_collected[fileId] << digest(body.body);
            } else if (!done.isRefusal() || (body.status != 200 && body.status != 404)) {
                fail(QString("collecting %1: %2 / %3").arg(fileId).arg(body.status).arg(done.status));
            }
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls += calls;
        }
        if (draining && inbox.isEmpty())
            return;
        draining = !goOn(round, clock.elapsed());
    }
}

QStringList ClusterTraffic::problems() const
{
    QStringList problems = m_errors.mid(0, 5);
    for (int i = 0; i < m_keyIds.size(); ++i) {
        if (m_keyIds[i].size() != 1 || m_keyIds[i].contains(QString()))
            problems
                << QString("installation %1 got the key ids %2").arg(i).arg(m_keyIds[i].values().join(' '));
    }
    if (m_collected.size() != m_sent.size())
        problems << QString("%1 containers sent, %2 collected").arg(m_sent.size()).arg(m_collected.size());
    for (auto it = m_collected.cbegin(); it != m_collected.cend(); ++it) {
        if (it.value() != QByteArrayList {m_sent.value(it.key())})
            problems
                << QString("container %1 collected %2 times or changed").arg(it.key()).arg(it.value().size());
    }
    return problems;
}

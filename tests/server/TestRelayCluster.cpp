// Two relays on one PostgreSQL database and one container folder: clients may use either for any
// call, races between the two never deliver a container twice or lose one, and a relay killed in
// the middle of an upload loses nothing that was committed while the other keeps serving.

#include "RelayClient.h"
#include "util/PostgresCluster.h"
#include "util/TestFiles.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
constexpr int installations = 6;
} // namespace

class TestRelayCluster : public QObject
{
    Q_OBJECT

    QVector<TestKey> m_keys;
    QTemporaryDir m_tmp;
    QMap<QString, QString> m_databases;

    // The threads of one installation send faster than its recipient's collect now and then.
    QStringList shared(const QString& name) const
    {
        return {"--database",
                m_databases[name],
                "--containers",
                m_tmp.filePath(name),
                "--waiting-per-pair",
                "10000",
                "--waiting-per-recipient",
                "10000"};
    }

private slots:
    void initTestCase()
    {
        QString error;
        PostgresCluster* cluster = PostgresCluster::shared(&error);
        QVERIFY2(cluster, qPrintable(error));
        for (const QString name : {"load", "crash", "quota", "resume"})
            QVERIFY2(!(m_databases[name] = cluster->database(name, &error)).isEmpty(), qPrintable(error));
        m_keys = makeTestKeys(installations);
        QCOMPARE(m_keys.size(), installations);
    }

    // With TESSARY_RELAY_LOAD_SECONDS set (bench/relay_load.sh), the load itself: 50 clients for
    // that long. Otherwise two threads an installation for six rounds.
    void clientsSpreadOverTwoServers()
    {
        const int loadSeconds = qEnvironmentVariableIntValue("TESSARY_RELAY_LOAD_SECONDS");
        const int clientThreads = loadSeconds > 0 ? 50 : 2 * installations;
        RelayProcess first(QString(), shared("load")), second(QString(), shared("load"));
        QString error;
        QVERIFY2(first.start(&error) && second.start(&error), qPrintable(error));
        const RelayClient clients[2] = {RelayClient(first), RelayClient(second)};
        QVector<QUuid> who;
        for (int i = 0; i < installations; ++i)
            who.append(QUuid::createUuid());

        std::mutex mutex;
        std::condition_variable registered;
        int unregistered = clientThreads;
        QHash<qint32, QByteArray> sent; // file id: digest of the container
        QHash<qint32, QByteArrayList> collected; // file id: digest of what came, per completion
        QStringList errors;
        QVector<QSet<QString>> keyIds(installations);
        const auto digest = [](const QByteArray& bytes) {
            return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
        };

        // Threads of one installation act at once: they register the same key together, and they
        // collect from the same inbox, so they race each other for every container.
        auto client = [&](int thread) {
            const int me = thread % installations, to = (me + 1) % installations;
            const QString keyId = clients[thread % 2].registerKey(who[me], m_keys[me]);
            {
                std::unique_lock<std::mutex> lock(mutex);
                keyIds[me].insert(keyId);
                if (--unregistered == 0)
                    registered.notify_all();
                // A container may only go to a key that is registered.
                registered.wait(lock, [&] { return unregistered == 0; });
            }
            QElapsedTimer clock;
            clock.start();
            bool draining = false;
            for (int round = 0;; ++round) {
                const RelayClient& any = clients[(thread + round) % 2];
                const RelayClient& other = clients[(thread + round + 1) % 2];
                if (!draining) {
                    const QByteArray container = RelayClient::container(
                        TestFiles::randomBytes(16 * 1024 + round % 7 * 4096), m_keys[to].fingerprint);
                    const RelayClient::Reply reply = any.upload(container, who[me]);
                    const qint32 fileId = reply.object()["fileId"].toInt();
                    std::lock_guard<std::mutex> lock(mutex);
                    if (fileId > 0)
                        sent.insert(fileId, digest(container));
                    else
                        errors << QString("send failed: %1 %2").arg(reply.status).arg(QString(reply.body));
                }
                const QJsonArray inbox = other.newFiles(who[me]);
                // Two entries a round, from a place that differs by thread: the threads of one
                // installation overlap often enough to race, and none walks the whole list.
                for (int i = 0; i < qMin(2, inbox.size()); ++i) {
                    const qint32 fileId
                        = inbox[(thread / installations + i) % inbox.size()]["fileId"].toInt();
                    const RelayClient::Reply body = any.download(fileId);
                    const RelayClient::Reply done = other.complete(who[me], fileId);
                    // Another thread may have taken it in the meantime: then both are refused or
                    // 404, never an error of the server. Compared at the end: the sender may not
                    // have its answer yet.
                    std::lock_guard<std::mutex> lock(mutex);
                    if (done.success())
                        collected[fileId] << digest(body.body);
                    else if (!done.isRefusal() || (body.status != 200 && body.status != 404))
                        errors << QString("collecting %1: %2 / %3")
                                      .arg(fileId)
                                      .arg(body.status)
                                      .arg(done.status);
                }
                if (draining && inbox.isEmpty())
                    return;
                draining = loadSeconds > 0 ? clock.elapsed() >= loadSeconds * 1000 : round >= 5;
            }
        };
        QElapsedTimer clock;
        clock.start();
        std::vector<std::thread> threads;
        for (int t = 0; t < clientThreads; ++t)
            threads.emplace_back(client, t);
        for (std::thread& t : threads)
            t.join();
        // Late senders may have put something in an inbox that its threads had already drained.
        for (int i = 0; i < installations; ++i) {
            for (const QJsonValue& entry : clients[0].newFiles(who[i])) {
                const qint32 fileId = entry["fileId"].toInt();
                const QByteArray body = clients[1].download(fileId).body;
                if (clients[0].complete(who[i], fileId).success())
                    collected[fileId] << digest(body);
            }
        }

        qInfo("%d clients over two servers for %.1f s: %d containers sent", clientThreads,
              clock.elapsed() / 1000.0, int(sent.size()));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.mid(0, 5).join('\n')));
        for (const QSet<QString>& ids : keyIds)
            QVERIFY(ids.size() == 1 && !ids.begin()->isEmpty()); // one key, one id, whoever asked
        QVERIFY(sent.size() >= 5 * clientThreads);
        QCOMPARE(collected.size(), sent.size());
        for (auto it = collected.cbegin(); it != collected.cend(); ++it)
            QVERIFY2(it.value() == QByteArrayList {sent.value(it.key())},
                     qPrintable(QString::number(it.key())));
    }

    // Uploads of one installation arriving together at both servers: the quota still holds.
    void quotaHoldsAcrossServers()
    {
        RelayProcess first(QString(), shared("quota") + QStringList {"--quota", "100K"}),
            second(QString(), shared("quota") + QStringList {"--quota", "100K"});
        QString error;
        QVERIFY2(first.start(&error) && second.start(&error), qPrintable(error));
        const RelayClient clients[2] = {RelayClient(first), RelayClient(second)};
        const QUuid alice = QUuid::createUuid(), bob = QUuid::createUuid();
        QVERIFY(!clients[0].registerKey(alice, m_keys[0]).isEmpty());
        QVERIFY(!clients[1].registerKey(bob, m_keys[1]).isEmpty());
        // Three of these fit into 100 KiB, four do not.
        const QByteArray container
            = RelayClient::container(QByteArray(30 * 1024, 'q'), m_keys[1].fingerprint);
        std::atomic<int> stored {0}, refused {0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 12; ++t) {
            threads.emplace_back([&, t] {
                const RelayClient::Reply reply = clients[t % 2].upload(container, alice);
                (reply.object()["fileId"].toInt() > 0 ? stored : refused) += reply.status == 200 ? 1 : 0;
            });
        }
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(stored.load(), 3);
        QCOMPARE(refused.load(), 9);
        QCOMPARE(clients[1].newFiles(bob).size(), 3);
    }

    void killedServerLosesNothingCommitted()
    {
        RelayProcess first(QString(), shared("crash")), second(QString(), shared("crash"));
        QString error;
        QVERIFY2(first.start(&error) && second.start(&error), qPrintable(error));
        const RelayClient viaFirst(first), viaSecond(second);
        const QUuid alice = QUuid::createUuid(), bob = QUuid::createUuid();
        QVERIFY(!viaFirst.registerKey(alice, m_keys[0]).isEmpty());
        QVERIFY(!viaSecond.registerKey(bob, m_keys[1]).isEmpty());
        QHash<qint32, QByteArray> committed;
        for (int i = 0; i < 3; ++i) {
            const QByteArray container
                = RelayClient::container(TestFiles::randomBytes(100000), m_keys[1].fingerprint);
            committed.insert(viaFirst.send(container, alice), container);
        }
        QVERIFY(!committed.contains(0));

        const QByteArray big = RelayClient::container(TestFiles::randomBytes(8 << 20), m_keys[1].fingerprint);
        const RelayClient::Reply cut = viaFirst.upload(big, alice, [&](qint64 sent) {
            if (sent < (4 << 20))
                return true;
            first.kill();
            return false;
        });
        QCOMPARE(cut.status, 0);

        // The other server has all that was committed, and nothing of the interrupted upload.
        const QJsonArray listed = viaSecond.newFiles(bob);
        QCOMPARE(listed.size(), committed.size());
        for (const QJsonValue& entry : listed)
            QVERIFY(viaSecond.download(entry["fileId"].toInt()).body
                    == committed.value(entry["fileId"].toInt()));

        // The killed server starts again while the other is in the middle of an upload: its
        // clean-up must leave that upload alone.
        bool restarted = false;
        const qint32 fileId = viaSecond.send(big, alice);
        QVERIFY(fileId > 0);
        const RelayClient::Reply during = viaSecond.upload(big, alice, [&](qint64 sent) {
            if (sent >= (4 << 20) && !restarted) {
                restarted = true;
                QString why;
                if (!first.start(&why))
                    qWarning("%s", qPrintable(why));
            }
            return true;
        });
        QVERIFY(restarted);
        const qint32 lateId = during.object()["fileId"].toInt();
        QVERIFY2(lateId > 0, during.body.constData());
        QCOMPARE(viaFirst.newFiles(bob).size(), committed.size() + 2);
        QVERIFY(viaFirst.download(lateId).body == big);
        QVERIFY(viaFirst.download(fileId).body == big);
    }

    // A resumable upload begun on one relay goes on at the other; while one appends to it, the
    // other refuses to.
    void uploadMovesBetweenServers()
    {
        RelayProcess first(QString(), shared("resume")), second(QString(), shared("resume"));
        QString error;
        QVERIFY2(first.start(&error) && second.start(&error), qPrintable(error));
        const RelayClient viaFirst(first), viaSecond(second);
        const QUuid alice = QUuid::createUuid(), bob = QUuid::createUuid();
        QVERIFY(!viaFirst.registerKey(alice, m_keys[0]).isEmpty());
        QVERIFY(!viaSecond.registerKey(bob, m_keys[1]).isEmpty());
        const QByteArray container
            = RelayClient::container(TestFiles::randomBytes(12 << 20), m_keys[1].fingerprint);
        const QByteArray path = viaFirst.createUpload(alice, container.size()).header("Location");
        QVERIFY(!path.isEmpty());

        int busy = 0;
        const RelayClient::Reply cut = viaFirst.append(alice, path, 0, container, [&](qint64 sent) {
            if (sent < (6 << 20))
                return true;
            // Once the first relay has written some of it, it holds the upload until this PATCH ends.
            qint64 offset = 0;
            for (QDeadlineTimer deadline(20000); offset == 0 && !deadline.hasExpired();)
                offset = viaSecond.uploadStatus(alice, path).header("Upload-Offset").toLongLong();
            busy = viaSecond.append(alice, path, offset, container.mid(offset, 1024)).status;
            return false;
        });
        QCOMPARE(cut.status, 0);
        QCOMPARE(busy, 423);

        // The first relay lets go once it has seen the connection end; until then a PATCH is refused,
        // before its body is read (which may cut it off).
        RelayClient::Reply done;
        for (QDeadlineTimer deadline(20000); done.status != 200 && !deadline.hasExpired();) {
            const qint64 offset = viaSecond.uploadStatus(alice, path).header("Upload-Offset").toLongLong();
            done = viaSecond.append(alice, path, offset, container.mid(offset));
            QVERIFY2(done.status == 200 || done.status == 423 || done.status == 0, done.body.constData());
        }
        const qint32 fileId = done.object()["fileId"].toInt();
        QVERIFY2(fileId > 0, done.body.constData());
        QVERIFY(viaFirst.download(fileId).body == container);
        QCOMPARE(viaFirst.uploadStatus(alice, path).header("Upload-File-Id").toInt(), fileId);
    }
};

QTEST_GUILESS_MAIN(TestRelayCluster)
#include "TestRelayCluster.moc"

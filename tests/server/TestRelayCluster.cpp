// Two relays on one PostgreSQL database and one container folder: clients may use either for any
// call, races between the two never deliver a container twice or lose one, and a relay killed in
// the middle of an upload loses nothing that was committed while the other keeps serving.

#include "ClusterTraffic.h"
#include "util/PostgresCluster.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {
constexpr int installations = 6;
} // namespace

class TestRelayCluster : public QObject
{
    Q_OBJECT

    QVector<TestKey> m_keys;
    QTemporaryDir m_tmp;
    QString m_database;

    QStringList shared(const QString& name) const
    {
        return {"--database", m_database + name, "--containers", m_tmp.filePath(name + "-containers")};
    }

private slots:
    void initTestCase()
    {
        QString error;
        PostgresCluster* cluster = PostgresCluster::shared(&error);
        QVERIFY2(cluster, qPrintable(error));
        m_database = cluster->database("load", &error);
        QVERIFY2(!m_database.isEmpty() && !cluster->database("crash", &error).isEmpty()
                     && !cluster->database("quota", &error).isEmpty(),
                 qPrintable(error));
        m_database.chop(4); // the address without the database name
        m_keys = makeTestKeys(installations);
        QCOMPARE(m_keys.size(), installations);
    }

    // The short form of the load in bench/RelayLoad.cpp.
    void clientsSpreadOverTwoServers()
    {
        RelayProcess first(QString(), shared("load")), second(QString(), shared("load"));
        QString error;
        QVERIFY2(first.start(&error) && second.start(&error), qPrintable(error));
        const RelayClient viaFirst(first), viaSecond(second);
        ClusterTraffic traffic(viaFirst, viaSecond, m_keys);
        traffic.run(2 * installations, [](int round, qint64) { return round < 5; });
        QVERIFY2(traffic.problems().isEmpty(), qPrintable(traffic.problems().join('\n')));
        QVERIFY(traffic.sent() >= 5 * 2 * installations);
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
                = RelayClient::container(RelayClient::randomBytes(100000), m_keys[1].fingerprint);
            committed.insert(viaFirst.send(container, alice), container);
        }
        QVERIFY(!committed.contains(0));

        const QByteArray big
            = RelayClient::container(RelayClient::randomBytes(8 << 20), m_keys[1].fingerprint);
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
};

QTEST_GUILESS_MAIN(TestRelayCluster)
#include "TestRelayCluster.moc"

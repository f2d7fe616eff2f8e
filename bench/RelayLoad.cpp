// The relay under load, run by bench/relay_load.sh (and CI) rather than with the unit tests: they
// take minutes and both cores. The unit tests hold a short form of each.
//
// - clientsSpreadOverTwoServers: 50 client threads of 6 installations for RELAY_LOAD_SECONDS
//   (default 60) against two relays on one PostgreSQL database; nothing lost, nothing twice.
// - usersAreServedUnderAttack: 500 hostile connections (silent, stuck in the handshake, trickling
//   headers or bodies) while a user downloads keys and uploads 10 MiB containers for 15 s.
// Prints the figures; fails on any error.

#include "ClusterTraffic.h"
#include "HostileClients.h"
#include "util/PostgresCluster.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

class RelayLoad : public QObject
{
    Q_OBJECT

    QVector<TestKey> m_keys;

private slots:
    void initTestCase()
    {
        m_keys = makeTestKeys(6);
        QCOMPARE(m_keys.size(), 6);
    }

    void clientsSpreadOverTwoServers()
    {
        QString error;
        PostgresCluster* cluster = PostgresCluster::shared(&error);
        QVERIFY2(cluster, qPrintable(error));
        const QString database = cluster->database("load", &error);
        QVERIFY2(!database.isEmpty(), qPrintable(error));
        QTemporaryDir containers;
        // The threads of one installation send faster than its recipient's collect now and then.
        const QStringList options {"--database",
                                   database,
                                   "--containers",
                                   containers.path(),
                                   "--waiting-per-pair",
                                   "10000",
                                   "--waiting-per-recipient",
                                   "10000"};
        RelayProcess first(QString(), options), second(QString(), options);
        QVERIFY2(first.start(&error) && second.start(&error), qPrintable(error));
        const RelayClient viaFirst(first), viaSecond(second);
        const qint64 seconds = qEnvironmentVariableIntValue("RELAY_LOAD_SECONDS") > 0
            ? qEnvironmentVariableIntValue("RELAY_LOAD_SECONDS")
            : 60;

        ClusterTraffic traffic(viaFirst, viaSecond, m_keys);
        QElapsedTimer clock;
        clock.start();
        traffic.run(50, [seconds](int, qint64 elapsedMs) { return elapsedMs < seconds * 1000; });
        qInfo("%d calls by 50 clients over two servers in %.1f s (%.0f/s); %d containers sent",
              traffic.calls(), clock.elapsed() / 1000.0, traffic.calls() * 1000.0 / clock.elapsed(),
              traffic.sent());
        QVERIFY2(traffic.problems().isEmpty(), qPrintable(traffic.problems().join('\n')));
        QVERIFY(traffic.sent() >= 100);
    }

    void usersAreServedUnderAttack_data()
    {
        QTest::addColumn<int>("addresses");
        // Below the per-address cap: only the budgets and the thread pool stand in the way.
        QTest::addRow("500 connections from 25 addresses") << 25;
        // Mostly beyond the per-address cap.
        QTest::addRow("500 connections from one address") << 1;
    }

    void usersAreServedUnderAttack()
    {
        QFETCH(int, addresses);
        using Kind = HostileClients::Kind;
        RelayProcess relay;
        const RelayClient client(relay);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const QUuid alice = QUuid::createUuid(), bob = QUuid::createUuid();
        const QString bobKeyId = client.registerKey(bob, m_keys[1]);
        QVERIFY(!bobKeyId.isEmpty() && !client.registerKey(alice, m_keys[0]).isEmpty());
        const QByteArray container
            = RelayClient::container(RelayClient::randomBytes(10 << 20), m_keys[1].fingerprint);

        HostileClients attack(QUrl(relay.baseUrl()).port(), 500, addresses);
        QTRY_VERIFY_WITH_TIMEOUT(attack.open() == 500, 10000);

        // Calls and uploads in turn for 15 s: long enough for every kind of stall to meet its budget.
        QVector<qint64> keyMs, uploadMs;
        int failed = 0;
        QElapsedTimer clock;
        clock.start();
        for (int round = 1; clock.elapsed() < 15000; ++round) {
            QElapsedTimer one;
            one.start();
            if (client.call("download-pubkey", alice, bobKeyId.toLatin1()).object()["fpr"]
                == m_keys[1].fingerprint)
                keyMs.append(one.elapsed());
            else
                ++failed;
            if (round % 5 == 0) {
                one.restart();
                const qint32 fileId = client.send(container, alice);
                if (fileId > 0 && client.complete(bob, fileId).success())
                    uploadMs.append(one.elapsed());
                else
                    ++failed;
            }
        }
        std::sort(keyMs.begin(), keyMs.end());
        std::sort(uploadMs.begin(), uploadMs.end());
        const auto at = [](const QVector<qint64>& v, double q) {
            return v.isEmpty() ? -1 : v[int(q * (v.size() - 1))];
        };
        qInfo("under attack (%d addresses): %d key downloads, median %lld ms, max %lld ms; %d uploads of 10 "
              "MiB, "
              "median %lld ms, max %lld ms; %d failed; connections cut: %d silent, %d in handshake, %d in "
              "headers, "
              "%d in body",
              addresses, int(keyMs.size()), at(keyMs, 0.5), at(keyMs, 1), int(uploadMs.size()),
              at(uploadMs, 0.5), at(uploadMs, 1), failed, attack.cut(Kind::Silent), attack.cut(Kind::Hello),
              attack.cut(Kind::Headers), attack.cut(Kind::Body));
        QCOMPARE(failed, 0);
        QVERIFY(keyMs.size() >= 10 && uploadMs.size() >= 2);
        // Every hostile connection was cut off at least once, whatever its kind.
        for (Kind kind : HostileClients::kinds)
            QVERIFY(attack.cut(kind) >= 125);
    }
};

QTEST_GUILESS_MAIN(RelayLoad)
#include "RelayLoad.moc"

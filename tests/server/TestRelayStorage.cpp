// What the relay keeps and what it lets go: a restart keeps everything, an interrupted upload, a
// crash or a full disk leaves nothing that can be listed, unclaimed containers expire with their
// blob, and a transfer streams with flat memory.

#include "RelayClient.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

class TestRelayStorage : public QObject
{
    Q_OBJECT

    QVector<TestKey> m_keys;
    QTemporaryDir m_tmp;
    const QUuid m_alice = QUuid::createUuid(), m_bob = QUuid::createUuid();
    QString m_aliceKeyId;

    // Starts relay and registers Alice's and Bob's keys on it.
    bool start(RelayProcess& relay)
    {
        QString error;
        if (!relay.start(&error))
            qWarning("%s", qPrintable(error));
        const RelayClient client(relay);
        m_aliceKeyId = client.registerKey(m_alice, m_keys[0]);
        return !m_aliceKeyId.isEmpty() && !client.registerKey(m_bob, m_keys[1]).isEmpty();
    }
    QByteArray forBob(const QByteArray& payload) const
    {
        return RelayClient::container(payload, m_keys[1].fingerprint);
    }
    static QStringList files(const QString& dir) { return QDir(dir).entryList(QDir::Files); }
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        m_keys = makeTestKeys(2);
        QCOMPARE(m_keys.size(), 2);
    }

    void restartKeepsEverything()
    {
        RelayProcess relay(m_tmp.filePath("restart"));
        const RelayClient client(relay);
        QVERIFY(start(relay));
        const QString bobKeyId = client.registerKey(m_bob, m_keys[1]);
        const QByteArray waiting = forBob(QByteArray(100000, 'w'));
        const qint32 waitingId = client.send(waiting, m_alice),
                     takenId = client.send(forBob("taken"), m_alice);
        QVERIFY(waitingId > 0 && takenId > 0);
        QVERIFY(client.complete(m_bob, takenId).success());
        const QByteArray ca = readAll(relay.caFile());

        relay.stop();
        QCOMPARE(relay.exitCode(), 0);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        QCOMPARE(readAll(relay.caFile()), ca); // made once: clients keep trusting it

        QCOMPARE(client.registerKey(m_alice, m_keys[0]), m_aliceKeyId);
        QCOMPARE(client.call("download-pubkey", m_alice, bobKeyId.toLatin1()).object()["fpr"].toString(),
                 m_keys[1].fingerprint);
        const QJsonArray list = client.newFiles(m_bob);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0]["fileId"].toInt(), waitingId);
        QCOMPARE(list[0]["uploaderKeyId"].toString(), m_aliceKeyId);
        QCOMPARE(client.download(waitingId).body, waiting);
        const QJsonArray report = client.delivered(m_alice, {waitingId, takenId});
        QCOMPARE(report.size(), 1);
        QCOMPARE(report[0]["fileId"].toInt(), takenId);
    }

    // Two servers on one data folder would corrupt it.
    void oneServerPerDataFolder()
    {
        RelayProcess first(m_tmp.filePath("locked")), second(m_tmp.filePath("locked"));
        QString error;
        QVERIFY2(first.start(&error), qPrintable(error));
        QVERIFY(!second.start(&error));
        QVERIFY2(error.contains("another tessary-server"), qPrintable(error));
    }

    void interruptedUploadLeavesNothing_data()
    {
        QTest::addColumn<bool>("killServer");
        QTest::addRow("client cut off") << false;
        QTest::addRow("server killed") << true;
    }

    void interruptedUploadLeavesNothing()
    {
        QFETCH(bool, killServer);
        RelayProcess relay;
        const RelayClient client(relay);
        QVERIFY(start(relay));
        const QString blobDir = relay.dataDir() + "/containers", incomingDir = blobDir + "/incoming";
        const QByteArray container = forBob(TestFiles::randomBytes(8 << 20));

        bool sawPartialFile = false;
        const RelayClient::Reply reply = client.upload(container, m_alice, [&](qint64 sent) {
            if (sent < (4 << 20))
                return true;
            sawPartialFile = !files(incomingDir).isEmpty();
            if (killServer)
                relay.kill();
            return false;
        });
        QCOMPARE(reply.status, 0);
        if (killServer) {
            // The half-written file stays until the server starts again and sweeps it away.
            QVERIFY(sawPartialFile && !files(incomingDir).isEmpty());
            QString error;
            QVERIFY2(relay.start(&error), qPrintable(error));
        }
        QTRY_VERIFY(files(incomingDir).isEmpty());
        QVERIFY(files(blobDir).isEmpty());
        QVERIFY(client.newFiles(m_bob).isEmpty());

        // The same container, sent again in full, goes through.
        const qint32 fileId = client.send(container, m_alice);
        QVERIFY(fileId > 0);
        QCOMPARE(client.newFiles(m_bob).size(), 1);
        QVERIFY(client.download(fileId).body == container);
    }

    void unclaimedContainersExpireWithTheirBlob()
    {
        RelayProcess relay(QString(), {"--expiry", "2s"});
        const RelayClient client(relay);
        QVERIFY(start(relay));
        const qint32 fileId = client.send(forBob("unclaimed"), m_alice);
        const QString blob = relay.dataDir() + "/containers/" + QString::number(fileId);
        QVERIFY(fileId > 0 && QFile::exists(blob));
        QCOMPARE(client.newFiles(m_bob).size(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(client.newFiles(m_bob).isEmpty(), 15000);
        QVERIFY(!QFile::exists(blob));
        QCOMPARE(client.download(fileId).status, 404);
        // The sender is not left waiting: the container never arrived.
        const QJsonArray report = client.delivered(m_alice, {fileId});
        QCOMPARE(report.size(), 1);
        QCOMPARE(report[0]["rejected"], QJsonValue(true));
    }

    // The disk fills up in the middle of an upload: the client is told so, nothing of the upload is
    // left, and the relay goes on serving.
    void fullDiskIsAnsweredWith507()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small file system for the containers needs root");
        const QString small = m_tmp.filePath("small");
        QVERIFY(QDir().mkpath(small));
        QCOMPARE(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=2m", "tmpfs", small}), 0);
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", small}); });
        RelayProcess relay(QString(), {"--containers", small, "--reserve", "0"});
        const RelayClient client(relay);
        QVERIFY(start(relay));

        // Chunked, as a stream of unknown length: nothing tells the relay before the disk does.
        const RelayClient::Reply full
            = client.upload(forBob(TestFiles::randomBytes(3 << 20)), m_alice, nullptr, true);
        QCOMPARE(full.status, 507);
        QVERIFY2(full.error().contains("out of disk space"), full.body.constData());
        QVERIFY(files(small).isEmpty() && files(small + "/incoming").isEmpty());
        QVERIFY(client.send(forBob(TestFiles::randomBytes(512 << 10)), m_alice) > 0);
        QCOMPARE(client.newFiles(m_bob).size(), 1);
    }

    // A cheap guard against a server that holds a whole body in memory; the 1 GiB run is a benchmark.
    void transferKeepsMemoryFlat()
    {
        RelayProcess relay;
        const RelayClient client(relay);
        QVERIFY(start(relay));
        auto peakRssKiB = [&] {
            const QRegularExpression hwm("VmHWM:\\s+(\\d+) kB");
            return hwm.match(readAll(QString("/proc/%1/status").arg(relay.processId())))
                .captured(1)
                .toLongLong();
        };
        const QByteArray container = forBob(TestFiles::randomBytes(64 << 20));
        const qint64 before = peakRssKiB();
        const qint32 fileId = client.send(container, m_alice);
        QVERIFY(fileId > 0 && before > 0);
        QVERIFY(client.download(fileId).body == container);
        const qint64 grown = peakRssKiB() - before;
        QVERIFY2(grown < 32 * 1024, qPrintable(QString("peak RSS grew by %1 KiB").arg(grown)));
    }
};

QTEST_GUILESS_MAIN(TestRelayStorage)
#include "TestRelayStorage.moc"

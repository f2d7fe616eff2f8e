// What the relay keeps and what it lets go: a restart keeps everything, an interrupted upload or a
// crash leaves nothing that can be listed or downloaded, unclaimed containers expire with their
// blob, the quota and the disk reserve hold, and a large transfer streams with flat memory.

#include "GpgTestKeys.h"
#include "RelayClient.h"
#include "util/RelayProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestRelayStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void restartKeepsEverything();
    void oneServerPerDataFolder();
    void interruptedUploadLeavesNothing_data();
    void interruptedUploadLeavesNothing();
    void unclaimedContainersExpireWithTheirBlob();
    void quotaPerInstallation();
    void diskReserveIsKept();
    void largeTransferKeepsMemoryFlat();

private:
    // Starts relay and registers Alice's and Bob's keys on it.
    bool startWithUsers(RelayProcess& relay, std::unique_ptr<RelayClient>* client);
    QJsonArray waitingFor(const RelayClient& client, const QUuid& who) const
    {
        return client.call(QStringLiteral("check-new-files"), who, "CHECK").json().array();
    }
    QByteArray forBob(const QByteArray& payload) const
    {
        return RelayClient::container(payload, m_keys->key(1).fingerprint);
    }
    static QStringList files(const QString& dir) { return QDir(dir).entryList(QDir::Files); }
    static qint64 peakRssKiB(qint64 pid);
    static QByteArray sha256Of(const QString& path);

    std::unique_ptr<GpgTestKeys> m_keys;
    QTemporaryDir m_tmp;
    const QUuid m_alice = QUuid::createUuid();
    const QUuid m_bob = QUuid::createUuid();
    QString m_aliceKeyId;
};

void TestRelayStorage::initTestCase()
{
    m_keys = std::make_unique<GpgTestKeys>(2);
    QVERIFY2(m_keys->isValid(), qPrintable(m_keys->error()));
}

bool TestRelayStorage::startWithUsers(RelayProcess& relay, std::unique_ptr<RelayClient>* client)
{
    QString error;
    if (!relay.start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    *client = std::make_unique<RelayClient>(relay.baseUrl(), relay.caFile());
    m_aliceKeyId = (*client)->registerKey(m_alice, m_keys->key(0).publicKey, m_keys->key(0).fingerprint);
    return !m_aliceKeyId.isEmpty()
        && !(*client)->registerKey(m_bob, m_keys->key(1).publicKey, m_keys->key(1).fingerprint).isEmpty();
}

qint64 TestRelayStorage::peakRssKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("VmHWM:\\s+(\\d+) kB"))
                                              .match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

QByteArray TestRelayStorage::sha256Of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

void TestRelayStorage::restartKeepsEverything()
{
    const QString dataDir = m_tmp.filePath(QStringLiteral("restart"));
    RelayProcess relay(dataDir);
    std::unique_ptr<RelayClient> client;
    QVERIFY(startWithUsers(relay, &client));
    const QString bobKeyId = client->registerKey(m_bob, m_keys->key(1).publicKey, m_keys->key(1).fingerprint);
    QCOMPARE(client
                 ->call(QStringLiteral("attach-key"), m_alice,
                        RelayClient::attachBody(bobKeyId, QStringLiteral("Bob")))
                 .status,
             200);
    const QByteArray waiting = forBob(QByteArray(100000, 'w'));
    const qint32 waitingId = client->uploadFileId(client->upload(waiting, m_alice));
    const qint32 takenId = client->uploadFileId(client->upload(forBob("taken"), m_alice));
    QVERIFY(waitingId > 0 && takenId > 0);
    QCOMPARE(
        client->call(QStringLiteral("download-complete"), m_bob, RelayClient::completeBody(false, takenId))
            .status,
        200);
    QFile caFile(relay.caFile());
    QVERIFY(caFile.open(QIODevice::ReadOnly));
    const QByteArray ca = caFile.readAll();
    caFile.close();

    relay.stop();
    QCOMPARE(relay.exitStatus(), QProcess::NormalExit);
    QCOMPARE(relay.exitCode(), 0);
    QVERIFY(relay.output().contains("tessary-server: stopped"));

    QString error;
    QVERIFY2(relay.start(&error), qPrintable(error));
    client = std::make_unique<RelayClient>(relay.baseUrl(), relay.caFile());
    // The private CA is made once: clients keep trusting it.
    QVERIFY(caFile.open(QIODevice::ReadOnly));
    QCOMPARE(caFile.readAll(), ca);

    QCOMPARE(client->registerKey(m_alice, m_keys->key(0).publicKey, m_keys->key(0).fingerprint),
             m_aliceKeyId);
    const QJsonObject bobKey
        = client->call(QStringLiteral("download-pubkey"), m_alice, bobKeyId.toLatin1()).object();
    QCOMPARE(bobKey.value(QStringLiteral("fpr")).toString(), m_keys->key(1).fingerprint);
    QCOMPARE(client->call(QStringLiteral("attach-key"), m_alice, RelayClient::attachBody(bobKeyId))
                 .object()
                 .value(QStringLiteral("keyId")),
             QJsonValue(bobKeyId));

    const QJsonArray list = waitingFor(*client, m_bob);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.at(0).toObject().value(QStringLiteral("fileId")).toInt(), waitingId);
    QCOMPARE(list.at(0).toObject().value(QStringLiteral("uploaderKeyId")).toString(), m_aliceKeyId);
    QCOMPARE(client->download(waitingId).body, waiting);

    const QJsonArray report = client
                                  ->call(QStringLiteral("check-delivered"), m_alice,
                                         QStringLiteral("[%1,%2]").arg(waitingId).arg(takenId).toLatin1())
                                  .json()
                                  .array();
    QCOMPARE(report.size(), 1);
    QCOMPARE(report.at(0).toObject().value(QStringLiteral("fileId")).toInt(), takenId);
}

void TestRelayStorage::oneServerPerDataFolder()
{
    const QString dataDir = m_tmp.filePath(QStringLiteral("locked"));
    RelayProcess first(dataDir);
    QString error;
    QVERIFY2(first.start(&error), qPrintable(error));
    RelayProcess second(dataDir);
    QVERIFY(!second.start(&error));
    QVERIFY2(error.contains(QLatin1String("another tessary-server")), qPrintable(error));
}

void TestRelayStorage::interruptedUploadLeavesNothing_data()
{
    QTest::addColumn<bool>("killServer");

    QTest::addRow("client cut off") << false;
    QTest::addRow("server killed") << true;
}

void TestRelayStorage::interruptedUploadLeavesNothing()
{
    QFETCH(bool, killServer);

    RelayProcess relay;
    std::unique_ptr<RelayClient> client;
    QVERIFY(startWithUsers(relay, &client));
    const QString blobDir = relay.dataDir() + QStringLiteral("/containers");
    const QString incomingDir = blobDir + QStringLiteral("/incoming");

    QByteArray payload(8 << 20, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(payload.data()), payload.size() / 4);
    const QString source = m_tmp.filePath(QStringLiteral("interrupted"));
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(forBob(payload));
    file.close();

    bool sawPartialFile = false;
    const RelayClient::Reply reply = client->upload(source, m_alice.toString(), [&](qint64 sent) {
        if (sent < (4 << 20))
            return true;
        sawPartialFile = !files(incomingDir).isEmpty();
        if (killServer)
            relay.kill();
        return false;
    });
    QCOMPARE(reply.status, 0);
    if (killServer) {
        // The half-written file is there until the server starts again and sweeps it away.
        QVERIFY(sawPartialFile);
        QVERIFY(!files(incomingDir).isEmpty());
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        client = std::make_unique<RelayClient>(relay.baseUrl(), relay.caFile());
    }
    QTRY_VERIFY(files(incomingDir).isEmpty());
    QVERIFY(files(blobDir).isEmpty());
    QCOMPARE(waitingFor(*client, m_bob).size(), 0);

    // The same container, sent again in full, goes through.
    const qint32 fileId = client->uploadFileId(client->upload(source, m_alice.toString()));
    QVERIFY(fileId > 0);
    QCOMPARE(waitingFor(*client, m_bob).size(), 1);
    QCOMPARE(client->download(fileId).body.size(), payload.size() + 21);
}

void TestRelayStorage::unclaimedContainersExpireWithTheirBlob()
{
    RelayProcess relay(QString(), {QStringLiteral("--expiry"), QStringLiteral("2s")});
    std::unique_ptr<RelayClient> client;
    QVERIFY(startWithUsers(relay, &client));
    const qint32 fileId = client->uploadFileId(client->upload(forBob("unclaimed"), m_alice));
    QVERIFY(fileId > 0);
    const QString blob = relay.dataDir() + QStringLiteral("/containers/") + QString::number(fileId);
    QVERIFY(QFile::exists(blob));
    QCOMPARE(waitingFor(*client, m_bob).size(), 1);

    QTRY_VERIFY_WITH_TIMEOUT(waitingFor(*client, m_bob).isEmpty(), 15000);
    QVERIFY(!QFile::exists(blob));
    QCOMPARE(client->download(fileId).status, 404);
    // The sender is not left waiting: the container never arrived.
    const QJsonArray report = client
                                  ->call(QStringLiteral("check-delivered"), m_alice,
                                         QByteArray::number(fileId).prepend('[') + ']')
                                  .json()
                                  .array();
    QCOMPARE(report.size(), 1);
    QCOMPARE(report.at(0).toObject().value(QStringLiteral("rejected")), QJsonValue(true));
}

void TestRelayStorage::quotaPerInstallation()
{
    RelayProcess relay(QString(), {QStringLiteral("--quota"), QStringLiteral("100K")});
    std::unique_ptr<RelayClient> client;
    QVERIFY(startWithUsers(relay, &client));
    const QByteArray sixty = forBob(QByteArray(60 * 1024, 'q'));
    const QByteArray canUpload = "{\"size\":" + QByteArray::number(sixty.size()) + "}";

    const qint32 first = client->uploadFileId(client->upload(sixty, m_alice));
    QVERIFY(first > 0);
    QVERIFY(client->call(QStringLiteral("can-upload"), m_alice, canUpload).isRefusal());
    const RelayClient::Reply refused = client->upload(sixty, m_alice);
    QVERIFY2(refused.isRefusal(), refused.body.constData());
    QCOMPARE(waitingFor(*client, m_bob).size(), 1);

    // The quota is Alice's: Bob still has his own.
    const QByteArray toAlice = RelayClient::container(QByteArray(60 * 1024, 'a'), m_keys->key(0).fingerprint);
    QVERIFY(client->uploadFileId(client->upload(toAlice, m_bob)) > 0);

    // Once Bob has collected the first container, Alice has room again.
    QCOMPARE(client->call(QStringLiteral("download-complete"), m_bob, RelayClient::completeBody(false, first))
                 .status,
             200);
    QCOMPARE(client->call(QStringLiteral("can-upload"), m_alice, canUpload)
                 .object()
                 .value(QStringLiteral("success")),
             QJsonValue(true));
}

void TestRelayStorage::diskReserveIsKept()
{
    // No disk has a thousand TiB to spare.
    RelayProcess relay(QString(), {QStringLiteral("--reserve"), QStringLiteral("1000T")});
    std::unique_ptr<RelayClient> client;
    QVERIFY(startWithUsers(relay, &client));
    QVERIFY(client->call(QStringLiteral("can-upload"), m_alice, "{\"size\":100}").isRefusal());
    QVERIFY(client->upload(forBob("x"), m_alice).isRefusal());
    QCOMPARE(waitingFor(*client, m_bob).size(), 0);
    QVERIFY(files(relay.dataDir() + QStringLiteral("/containers")).isEmpty());
}

void TestRelayStorage::largeTransferKeepsMemoryFlat()
{
    RelayProcess relay;
    std::unique_ptr<RelayClient> client;
    QVERIFY(startWithUsers(relay, &client));

    // 256 MiB of random blocks, written piece by piece so the test itself stays small.
    const QString source = m_tmp.filePath(QStringLiteral("large"));
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            QCOMPARE(file.write(block), qint64(block.size()));
        }
        file.write(QByteArray::fromHex(m_keys->key(1).fingerprint.toLatin1()) + '\x01');
    }
    const qint64 before = peakRssKiB(relay.processId());
    QVERIFY(before > 0);

    const qint32 fileId = client->uploadFileId(client->upload(source, m_alice.toString()));
    QVERIFY(fileId > 0);
    const QString downloaded = m_tmp.filePath(QStringLiteral("large.down"));
    QCOMPARE(client->download(fileId, downloaded).status, 200);
    const qint64 after = peakRssKiB(relay.processId());

    qInfo("server peak RSS: %lld KiB before, %lld KiB after a 256 MiB upload and download", before, after);
    QVERIFY2(after - before < 48 * 1024,
             qPrintable(QStringLiteral("peak RSS grew by %1 KiB").arg(after - before)));
    QCOMPARE(sha256Of(downloaded), sha256Of(source));
    QFile::remove(source);
    QFile::remove(downloaded);
}

QTEST_GUILESS_MAIN(TestRelayStorage)
#include "TestRelayStorage.moc"

// The relay protocol end to end, from a client written in this test, against the real
// tessary-server: keys, contacts, a transfer from upload to delivery report, feedback, and what the
// access log may and may not contain.

#include "GpgTestKeys.h"
#include "RelayClient.h"
#include "util/RelayProcess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestRelayProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void keysAndContacts();
    void transfer_data();
    void transfer();
    void fileIdsAreNotSequential();
    void feedbackIsStored();
    void emptyGetIsAnsweredInPlainWords_data();
    void emptyGetIsAnsweredInPlainWords();
    void accessLogHidesKeysAndInstallations();

private:
    RelayClient::Reply checkNewFiles(const QUuid& who) const
    {
        return m_client->call(QStringLiteral("check-new-files"), who, "CHECK");
    }
    QJsonArray delivered(const QUuid& who, const QJsonArray& ids) const
    {
        return m_client
            ->call(QStringLiteral("check-delivered"), who, QJsonDocument(ids).toJson(QJsonDocument::Compact))
            .json()
            .array();
    }

    QTemporaryDir m_tmp;
    std::unique_ptr<GpgTestKeys> m_keys;
    std::unique_ptr<RelayProcess> m_relay;
    std::unique_ptr<RelayClient> m_client;
    const QUuid m_alice = QUuid::createUuid();
    const QUuid m_bob = QUuid::createUuid();
    QString m_aliceKeyId;
    QString m_bobKeyId;
};

void TestRelayProtocol::initTestCase()
{
    m_keys = std::make_unique<GpgTestKeys>(2);
    QVERIFY2(m_keys->isValid(), qPrintable(m_keys->error()));
    m_relay = std::make_unique<RelayProcess>(
        QString(),
        QStringList {QStringLiteral("--access-log"), m_tmp.filePath(QStringLiteral("access.log"))});
    QString error;
    QVERIFY2(m_relay->start(&error), qPrintable(error));
    QVERIFY(m_relay->baseUrl().startsWith(QLatin1String("https://127.0.0.1:")));
    QVERIFY(QFile::exists(m_relay->caFile()));
    m_client = std::make_unique<RelayClient>(m_relay->baseUrl(), m_relay->caFile());

    m_aliceKeyId = m_client->registerKey(m_alice, m_keys->key(0).publicKey, m_keys->key(0).fingerprint);
    m_bobKeyId = m_client->registerKey(m_bob, m_keys->key(1).publicKey, m_keys->key(1).fingerprint);
    QVERIFY(!m_aliceKeyId.isEmpty());
    QVERIFY(!m_bobKeyId.isEmpty());
}

void TestRelayProtocol::cleanupTestCase()
{
    m_relay->stop();
    QCOMPARE(m_relay->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_relay->exitCode(), 0);
}

void TestRelayProtocol::keysAndContacts()
{
    const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    QVERIFY(digits.match(m_aliceKeyId).hasMatch());
    QVERIFY(digits.match(m_bobKeyId).hasMatch());
    QVERIFY(m_aliceKeyId != m_bobKeyId);

    // The same key uploaded again keeps its id; the reply member is a JSON string.
    const RelayClient::Reply again
        = m_client->call(QStringLiteral("upload-pubkey"), m_alice,
                         RelayClient::pubKeyBody(m_keys->key(0).publicKey, m_keys->key(0).fingerprint));
    QCOMPARE(again.status, 200);
    QVERIFY(again.object().value(QStringLiteral("keyId")).isString());
    QCOMPARE(again.object().value(QStringLiteral("keyId")).toString(), m_aliceKeyId);

    // Alice adds Bob (empty title), then renames him.
    RelayClient::Reply attach
        = m_client->call(QStringLiteral("attach-key"), m_alice, RelayClient::attachBody(m_bobKeyId));
    QCOMPARE(attach.status, 200);
    QCOMPARE(attach.object().value(QStringLiteral("keyId")).toString(), m_bobKeyId);
    attach = m_client->call(QStringLiteral("attach-key"), m_alice,
                            RelayClient::attachBody(m_bobKeyId, QStringLiteral("Bob Müller")));
    QCOMPARE(attach.object().value(QStringLiteral("keyId")).toString(), m_bobKeyId);

    // Alice fetches Bob's key: fingerprint in upper-case hex, the key bytes unchanged.
    const RelayClient::Reply download
        = m_client->call(QStringLiteral("download-pubkey"), m_alice, m_bobKeyId.toLatin1());
    QCOMPARE(download.status, 200);
    const QJsonObject key = download.object();
    QCOMPARE(key.value(QStringLiteral("keyId")).toString(), m_bobKeyId);
    QCOMPARE(key.value(QStringLiteral("fpr")).toString(), m_keys->key(1).fingerprint);
    QCOMPARE(QByteArray::fromBase64(key.value(QStringLiteral("keyData")).toString().toLatin1()),
             m_keys->key(1).publicKey);
}

void TestRelayProtocol::transfer_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("rejected");

    QTest::addRow("small, taken") << 100 << false;
    QTest::addRow("small, rejected") << 100 << true;
    QTest::addRow("several MiB, taken") << (3 << 20) + 1 << false;
}

void TestRelayProtocol::transfer()
{
    QFETCH(int, size);
    QFETCH(bool, rejected);

    QByteArray payload(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(payload.data()), size / 4);
    const QByteArray container = RelayClient::container(payload, m_keys->key(1).fingerprint);

    const RelayClient::Reply may
        = m_client->call(QStringLiteral("can-upload"), m_alice,
                         QByteArray("{\"size\":") + QByteArray::number(container.size()) + '}');
    QCOMPARE(may.status, 200);
    QCOMPARE(may.object().value(QStringLiteral("success")), QJsonValue(true));

    const RelayClient::Reply uploaded = m_client->upload(container, m_alice);
    QCOMPARE(uploaded.status, 200);
    QVERIFY2(uploaded.object().value(QStringLiteral("fileId")).isDouble(), uploaded.body.constData());
    const qint32 fileId = m_client->uploadFileId(uploaded);
    QVERIFY(fileId > 0);

    // Bob sees it with its size and Alice's key id; Alice, the sender, does not.
    const QJsonArray forBob = checkNewFiles(m_bob).json().array();
    QCOMPARE(forBob.size(), 1);
    const QJsonObject entry = forBob.at(0).toObject();
    QCOMPARE(entry.value(QStringLiteral("fileId")).toInt(), fileId);
    QCOMPARE(entry.value(QStringLiteral("fileSize")).toDouble(), double(container.size()));
    QCOMPARE(entry.value(QStringLiteral("uploaderKeyId")).toString(), m_aliceKeyId);
    QCOMPARE(checkNewFiles(m_alice).json().array().size(), 0);

    // Byte-identical download, streamed to a file.
    const QString downloaded = m_tmp.filePath(QStringLiteral("downloaded"));
    QCOMPARE(m_client->download(fileId, downloaded).status, 200);
    QFile file(downloaded);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == container);

    // Nothing is reported before Bob is done.
    const QJsonArray ids {fileId, fileId};
    QCOMPARE(delivered(m_alice, ids).size(), 0);

    const RelayClient::Reply complete = m_client->call(QStringLiteral("download-complete"), m_bob,
                                                       RelayClient::completeBody(rejected, fileId));
    QCOMPARE(complete.status, 200);
    QCOMPARE(complete.object().value(QStringLiteral("success")), QJsonValue(true));

    // One report per file, even when asked twice in one request; the outcome is told truly.
    const QJsonArray report = delivered(m_alice, ids);
    QCOMPARE(report.size(), 1);
    QCOMPARE(report.at(0).toObject().value(QStringLiteral("fileId")).toInt(), fileId);
    QCOMPARE(report.at(0).toObject().value(QStringLiteral("rejected")), QJsonValue(rejected));

    // The container is gone: not listed, not downloadable, not completable again.
    QCOMPARE(checkNewFiles(m_bob).json().array().size(), 0);
    QCOMPARE(m_client->download(fileId).status, 404);
    QVERIFY(
        m_client->call(QStringLiteral("download-complete"), m_bob, RelayClient::completeBody(false, fileId))
            .isRefusal());
}

void TestRelayProtocol::fileIdsAreNotSequential()
{
    QVector<qint32> ids;
    for (int i = 0; i < 6; ++i) {
        const qint32 id = m_client->uploadFileId(
            m_client->upload(RelayClient::container("x", m_keys->key(1).fingerprint), m_alice));
        QVERIFY(id > 0);
        QVERIFY(!ids.contains(id));
        ids.append(id);
    }
    int steps = 0;
    for (int i = 1; i < ids.size(); ++i)
        steps += qAbs(qint64(ids.at(i)) - ids.at(i - 1)) == 1 ? 1 : 0;
    QCOMPARE(steps, 0);

    for (qint32 id : ids)
        m_client->call(QStringLiteral("download-complete"), m_bob, RelayClient::completeBody(true, id));
    QCOMPARE(checkNewFiles(m_bob).json().array().size(), 0);
}

void TestRelayProtocol::feedbackIsStored()
{
    const QByteArray body = R"({"email":"bob@example.org","message":"Grüße, it works","name":"Bob"})";
    const RelayClient::Reply reply = m_client->call(QStringLiteral("send-feedback"), m_bob, body);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.object().value(QStringLiteral("success")), QJsonValue(true));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("relay"));
        db.setDatabaseName(m_relay->dataDir() + QStringLiteral("/relay.db"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QVERIFY(db.open());
        QSqlQuery query(QStringLiteral("SELECT name, email, message FROM feedback"), db);
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("Bob"));
        QCOMPARE(query.value(1).toString(), QStringLiteral("bob@example.org"));
        QCOMPARE(query.value(2).toString(), QStringLiteral("Grüße, it works"));
        QVERIFY(!query.next());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("relay"));
}

void TestRelayProtocol::emptyGetIsAnsweredInPlainWords_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("refusal");

    QTest::addRow("download-pubkey without digits") << "/api/download-pubkey" << 200 << true;
    QTest::addRow("another endpoint") << "/api/check-new-files" << 200 << true;
    QTest::addRow("unknown endpoint") << "/api/no-such-call" << 404 << false;
}

void TestRelayProtocol::emptyGetIsAnsweredInPlainWords()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    QFETCH(bool, refusal);

    const RelayClient::Reply reply = m_client->get(path);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.isRefusal(), refusal);
}

void TestRelayProtocol::accessLogHidesKeysAndInstallations()
{
    QFile file(m_tmp.filePath(QStringLiteral("access.log")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray log = file.readAll();
    const QList<QByteArray> lines = log.trimmed().split('\n');
    QVERIFY(lines.size() > 10);

    QSet<QString> aliceNames;
    for (const QByteArray& line : lines) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        QVERIFY2(!entry.isEmpty(), line.constData());
        QVERIFY(entry.contains(QStringLiteral("status")));
        QVERIFY(entry.contains(QStringLiteral("path")));
        if (entry.value(QStringLiteral("path")).toString() == QLatin1String("/api/can-upload"))
            aliceNames.insert(entry.value(QStringLiteral("caller")).toString());
    }
    // Alice's requests carry one pseudonym, the same every time.
    QCOMPARE(aliceNames.size(), 1);
    QVERIFY(!aliceNames.begin()->isEmpty());

    const QList<QByteArray> secrets {
        m_alice.toRfc4122().toHex(),
        m_alice.toByteArray(QUuid::WithoutBraces),
        m_bob.toRfc4122().toHex(),
        m_bob.toByteArray(QUuid::WithoutBraces),
        m_keys->key(0).fingerprint.toLatin1(),
        m_keys->key(0).fingerprint.toLower().toLatin1(),
        m_keys->key(1).publicKey.toBase64().left(40),
        m_aliceKeyId.toLatin1(),
    };
    for (const QByteArray& secret : secrets)
        QVERIFY2(!log.contains(secret), secret.constData());
}

QTEST_GUILESS_MAIN(TestRelayProtocol)
#include "TestRelayProtocol.moc"

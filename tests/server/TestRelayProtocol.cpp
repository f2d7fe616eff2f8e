// The relay protocol end to end, from a client written in this test, against the real
// tessary-server; and what its access log may contain.

#include "RelayClient.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestRelayProtocol : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QVector<TestKey> m_keys;
    RelayProcess m_relay {QString(), {"--access-log", m_tmp.filePath("access.log")}};
    RelayClient m_client {m_relay};
    const QUuid m_alice = QUuid::createUuid(), m_bob = QUuid::createUuid();
    QString m_aliceKeyId, m_bobKeyId;

private slots:
    void initTestCase()
    {
        m_keys = makeTestKeys(2);
        QCOMPARE(m_keys.size(), 2);
        QString error;
        QVERIFY2(m_relay.start(&error), qPrintable(error));
        m_aliceKeyId = m_client.registerKey(m_alice, m_keys[0]);
        m_bobKeyId = m_client.registerKey(m_bob, m_keys[1]);
    }

    void keysAndContacts()
    {
        QVERIFY(QRegularExpression("^[0-9]+$").match(m_aliceKeyId + m_bobKeyId).hasMatch());
        QVERIFY(m_aliceKeyId != m_bobKeyId);
        QCOMPARE(m_client.registerKey(m_alice, m_keys[0]), m_aliceKeyId); // the same key keeps its id

        // Alice adds Bob, then names him.
        for (const QString& title : {QString(), QString("Bob Müller")})
            QCOMPARE(m_client.call("attach-key", m_alice, RelayClient::attachBody(m_bobKeyId, title))
                         .object()["keyId"],
                     QJsonValue(m_bobKeyId));

        const QJsonObject key = m_client.call("download-pubkey", m_alice, m_bobKeyId.toLatin1()).object();
        QCOMPARE(key["keyId"].toString(), m_bobKeyId);
        QCOMPARE(key["fpr"].toString(), m_keys[1].fingerprint);
        QCOMPARE(QByteArray::fromBase64(key["keyData"].toString().toLatin1()), m_keys[1].publicKey);
    }

    void transfer_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("rejected");
        QTest::addRow("small, taken") << 100 << false;
        QTest::addRow("small, rejected") << 100 << true;
    }

    void transfer()
    {
        QFETCH(int, size);
        QFETCH(bool, rejected);
        const QByteArray container
            = RelayClient::container(TestFiles::randomBytes(size), m_keys[1].fingerprint);

        QVERIFY(m_client.call("can-upload", m_alice, RelayClient::canUploadBody(container.size())).success());
        const qint32 fileId = m_client.send(container, m_alice);
        QVERIFY(fileId > 0);

        // Bob sees it with its size and Alice's key id; Alice, the sender, does not.
        const QJsonArray forBob = m_client.newFiles(m_bob);
        QCOMPARE(forBob.size(), 1);
        QCOMPARE(forBob[0]["fileId"].toInt(), fileId);
        QCOMPARE(forBob[0]["fileSize"].toDouble(), double(container.size()));
        QCOMPARE(forBob[0]["uploaderKeyId"].toString(), m_aliceKeyId);
        QVERIFY(m_client.newFiles(m_alice).isEmpty());

        QVERIFY(m_client.download(fileId).body == container);
        const QJsonArray ids {fileId, fileId};
        QVERIFY(m_client.delivered(m_alice, ids).isEmpty());
        QVERIFY(m_client.complete(m_bob, fileId, rejected).success());

        // One report per file, even when asked twice in one request; the outcome is told truly.
        const QJsonArray report = m_client.delivered(m_alice, ids);
        QCOMPARE(report.size(), 1);
        QCOMPARE(report[0]["fileId"].toInt(), fileId);
        QCOMPARE(report[0]["rejected"], QJsonValue(rejected));

        // The container is gone: not listed, not downloadable, not completable again.
        QVERIFY(m_client.newFiles(m_bob).isEmpty());
        QCOMPARE(m_client.download(fileId).status, 404);
        QVERIFY(m_client.complete(m_bob, fileId).isRefusal());
    }

    void feedbackIsStored()
    {
        const QByteArray body = R"({"email":"bob@example.org","message":"Grüße, it works","name":"Bob"})";
        QVERIFY(m_client.call("send-feedback", m_bob, body).success());
        QSqlDatabase db = m_relay.openDatabase("relay");
        QVERIFY(db.isOpen());
        QSqlQuery query("SELECT name, email, message FROM feedback", db);
        QVERIFY(query.next());
        QCOMPARE(
            QStringList({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()}),
            QStringList({"Bob", "bob@example.org", "Grüße, it works"}));
        QVERIFY(!query.next());
    }

    void accessLogHidesKeysAndInstallations()
    {
        QFile file(m_tmp.filePath("access.log"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray log = file.readAll();
        QSet<QString> aliceNames;
        for (const QByteArray& line : log.trimmed().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            QVERIFY2(entry.contains("status") && entry.contains("path"), line.constData());
            if (entry["path"] == "/api/can-upload")
                aliceNames.insert(entry["caller"].toString());
        }
        // Alice's requests carry one pseudonym, the same every time.
        QCOMPARE(aliceNames.size(), 1);
        QVERIFY(!aliceNames.begin()->isEmpty());

        for (const QByteArray& secret :
             {m_alice.toRfc4122().toHex(), m_alice.toByteArray(QUuid::WithoutBraces),
              m_bob.toRfc4122().toHex(), m_bob.toByteArray(QUuid::WithoutBraces),
              m_keys[0].fingerprint.toLatin1(), m_keys[0].fingerprint.toLower().toLatin1(),
              m_keys[1].publicKey.toBase64().left(40), m_aliceKeyId.toLatin1()})
            QVERIFY2(!log.contains(secret), secret.constData());
    }
};

QTEST_GUILESS_MAIN(TestRelayProtocol)
#include "TestRelayProtocol.moc"

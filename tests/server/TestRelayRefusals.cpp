// Requests the relay must refuse, each checked to change nothing, and every limit reached once and
// then refused with its message while the relay goes on serving. Refusals a user has to read come as
// HTTP 200 with {"error": "..."}; requests refused as malformed, or before their body was read to
// its end, as 400 or 413 with such a text.

#include "RelayClient.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

class TestRelayRefusals : public QObject
{
    Q_OBJECT
    using R = RelayClient;

    QVector<TestKey> m_keys; // key 3 is never registered: a new user's key
    RelayProcess m_relay {QString(), {"--max-container", "64K"}};
    RelayClient m_client {m_relay};
    const QUuid m_alice = QUuid::createUuid(), m_bob = QUuid::createUuid(), m_carol = QUuid::createUuid();
    QString m_bobKeyId, m_carolKeyId;
    qint32 m_waiting = 0; // Alice's container for Bob, waiting throughout

    // Every stored row and blob file: all that a refusal must leave as it was.
    QStringList snapshot() const
    {
        const QDir blobs(m_relay.dataDir() + "/containers");
        QStringList s = blobs.entryList(QDir::Files) + QDir(blobs.filePath("incoming")).entryList(QDir::Files)
            + QDir(blobs.filePath("uploads")).entryList(QDir::Files);
        for (const QString table :
             {"installations", "pubkeys", "contacts", "containers", "feedback", "uploads"}) {
            QSqlQuery query("SELECT * FROM " + table, QSqlDatabase::database("relay"));
            while (query.next()) {
                QByteArray row = table.toLatin1();
                for (int i = 0; i < query.record().count(); ++i)
                    row += ' ' + query.value(i).toByteArray().toHex();
                s << row;
            }
        }
        s.sort(); // PostgreSQL returns rows in no particular order
        return s;
    }

private slots:
    void initTestCase()
    {
        m_keys = makeTestKeys(4);
        QCOMPARE(m_keys.size(), 4);
        QString error;
        QVERIFY2(m_relay.start(&error), qPrintable(error));
        QVERIFY(!m_client.registerKey(m_alice, m_keys[0]).isEmpty());
        m_bobKeyId = m_client.registerKey(m_bob, m_keys[1]);
        m_carolKeyId = m_client.registerKey(m_carol, m_keys[2]);
        QVERIFY(!m_bobKeyId.isEmpty() && !m_carolKeyId.isEmpty());
        m_waiting = m_client.send(R::container(QByteArray(1000, 'w'), m_keys[1].fingerprint), m_alice);
        QVERIFY(m_waiting > 0);
        QVERIFY(m_relay.openDatabase("relay").isOpen());
    }

    void refusedAndNothingChanged_data()
    {
        QTest::addColumn<QString>("endpoint"); // "/..." is posted as it is; "/upload-container" as an upload
        QTest::addColumn<QUuid>("who");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");

        const TestKey& fresh = m_keys[3];
        const QString bobFpr = m_keys[1].fingerprint;
        QByteArray wrongMd5 = R::pubKeyBody(fresh.publicKey, fresh.fingerprint);
        wrongMd5[3] = char(wrongMd5[3] ^ 0x40);
        const QString up = "/upload-container";
        const auto row = &QTest::newRow;
        const QUuid stranger = QUuid::createUuid();

        row("wrong MD5") << "upload-pubkey" << stranger << wrongMd5 << 200;
        row("fingerprint of another key")
            << "upload-pubkey" << stranger << R::pubKeyBody(fresh.publicKey, m_keys[0].fingerprint) << 200;
        row("secret key") << "upload-pubkey" << stranger << R::pubKeyBody(fresh.secretKey, fresh.fingerprint)
                          << 200;
        row("key of another installation")
            << "upload-pubkey" << stranger << R::pubKeyBody(m_keys[0].publicKey, m_keys[0].fingerprint)
            << 200;
        row("attach unknown key id") << "attach-key" << m_alice << R::attachBody("12") << 200;
        row("download unknown key id") << "download-pubkey" << m_alice << QByteArray("12") << 200;
        row("can-upload over the limit") << "can-upload" << m_alice << R::canUploadBody(64 * 1024 + 1) << 200;
        row("method 2 container") << up << m_alice << R::container(QByteArray(500, 'p'), {}, 2) << 200;
        row("recipient not registered")
            << up << m_alice << R::container(QByteArray(500, 'r'), fresh.fingerprint) << 200;
        row("container that is not an OpenPGP message")
            // Text, not random bytes: random ones may begin like a packet and be judged only at the end.
            << up << m_alice << QByteArray(5000, 'x') + QByteArray::fromHex(bobFpr.toLatin1()) + '\x01'
            << 400;
        row("container over the limit")
            << up << m_alice << R::container(QByteArray(64 * 1024, 'o'), bobFpr) << 413;
        const QByteArray completeWaiting = '\x00' + QByteArray::number(m_waiting);
        row("download-complete from a stranger") << "download-complete" << m_carol << completeWaiting << 200;
        row("download-complete from the uploader")
            << "download-complete" << m_alice << completeWaiting << 200;
        // Malformed: lengths that point past the end of the body.
        row("body shorter than the prefix")
            << "/api/check-new-files" << QUuid() << '\x03' + QByteArray("CHECK") << 400;
        row("attach length beyond the body")
            << "attach-key" << m_alice << char(20) + m_bobKeyId.toLatin1() << 400;
    }

    void refusedAndNothingChanged()
    {
        QFETCH(QString, endpoint);
        QFETCH(QUuid, who);
        QFETCH(QByteArray, body);
        QFETCH(int, status);

        const QStringList before = snapshot();
        const RelayClient::Reply reply = endpoint == "/upload-container" ? m_client.upload(body, who)
            : endpoint.startsWith('/')                                   ? m_client.post(endpoint, body)
                                                                         : m_client.call(endpoint, who, body);
        QCOMPARE(reply.status, status);
        QVERIFY2(!reply.error().isEmpty(), reply.body.constData());
        QCOMPARE(snapshot(), before);
    }

    void limitIsReached_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("action"); // what is tried again and again
        QTest::addColumn<int>("allowed"); // tries that succeed before the one refused
        QTest::addColumn<QString>("message");

        QTest::addRow("contact title")
            << QStringList {"--max-title", "16"} << "title" << 1 << "titles of up to 16 bytes";
        QTest::addRow("contacts") << QStringList {"--contacts-per-installation", "1"} << "contact" << 1
                                  << "no more contacts: the server keeps 1 for one installation";
        QTest::addRow("feedback size")
            << QStringList {"--max-feedback", "1K"} << "long feedback" << 1 << "accepts up to 1.0 KiB";
        QTest::addRow("feedback per day") << QStringList {"--feedback-per-day", "2"} << "feedback" << 2
                                          << "as the server accepts in a day (2)";
        QTest::addRow("key size") << QStringList {"--max-key", "1K"} << "large key" << 1
                                  << "keys of up to 1.0 KiB";
        QTest::addRow("keys per installation")
            << QStringList {"--keys-per-installation", "1"} << "another key" << 0
            << "no more keys: the server keeps 1 for one installation";
        // Alice, Bob and Carol are three.
        QTest::addRow("new installations per address") << QStringList {"--installations-per-hour", "4"}
                                                       << "new installation" << 1 << "new installations";
        QTest::addRow("containers per sender and recipient")
            << QStringList {"--waiting-per-pair", "2"} << "send" << 2 << "no more than 2 from one sender";
        QTest::addRow("containers per recipient") << QStringList {"--waiting-per-recipient", "2"}
                                                  << "send, taking turns" << 2 << "for one person (2)";
        QTest::addRow("quota") << QStringList {"--quota", "100K"} << "send 60K" << 1
                               << "the limit is 100 KiB";
    }

    void limitIsReached()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, action);
        QFETCH(int, allowed);
        QFETCH(QString, message);
        RelayProcess relay(QString(), options);
        const RelayClient client(relay);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const QUuid people[] = {m_alice, m_bob, m_carol};
        QStringList keyIds;
        for (int i = 0; i < 3; ++i)
            keyIds << client.registerKey(people[i], m_keys[i]);
        QVERIFY(!keyIds.contains(QString()));

        // Try i: each action in the words of the protocol; the senders take turns where they can.
        const auto attempt = [&](int i) {
            const QUuid sender = action == "send, taking turns" && i % 2 == 1 ? m_carol : m_alice;
            if (action == "title")
                return client.call("attach-key", m_alice, R::attachBody(keyIds[1], QString(16 + i, 't')));
            if (action == "contact")
                return client.call("attach-key", m_alice, R::attachBody(keyIds[1 + i]));
            if (action == "feedback" || action == "long feedback")
                return client.call("send-feedback", m_alice,
                                   "{\"message\":\"" + QByteArray(action == "feedback" ? 10 : 1024 + i, 'm')
                                       + "\"}");
            if (action == "large key")
                return client.call("upload-pubkey", QUuid::createUuid(),
                                   i == 0 ? R::pubKeyBody(m_keys[3].publicKey, m_keys[3].fingerprint)
                                          : R::pubKeyBody(QByteArray(1025, 'k'), m_keys[3].fingerprint));
            if (action == "another key")
                return client.call("upload-pubkey", m_alice,
                                   R::pubKeyBody(m_keys[3].publicKey, m_keys[3].fingerprint));
            if (action == "new installation")
                return client.call("send-feedback", QUuid::createUuid(), "{\"message\":\"hello\"}");
            const int size = action == "send 60K" ? 60 * 1024 : 100;
            return client.upload(R::container(QByteArray(size, 'c'), m_keys[1].fingerprint), sender);
        };
        for (int i = 0; i < allowed; ++i) {
            const RelayClient::Reply reply = attempt(i);
            QVERIFY2(reply.status == 200 && reply.error().isEmpty(), reply.body.constData());
        }
        const RelayClient::Reply refused = attempt(allowed);
        QCOMPARE(refused.status, 200);
        QVERIFY2(refused.error().contains(message), refused.body.constData());
        // Serving goes on, also for the one refused.
        QCOMPARE(client.newFiles(m_bob).size(), action.startsWith("send") ? allowed : 0);
        QCOMPARE(client.call("download-pubkey", m_alice, keyIds[1].toLatin1()).object()["keyId"].toString(),
                 keyIds[1]);
    }

    void deliveryIsReportedOnlyToTheUploader()
    {
        const qint32 fileId = m_client.send(R::container("done", m_keys[1].fingerprint), m_alice);
        QVERIFY(fileId > 0);
        QVERIFY(m_client.complete(m_bob, fileId).success());
        QVERIFY(m_client.delivered(m_carol, {fileId}).isEmpty());
        QVERIFY(m_client.delivered(m_bob, {fileId}).isEmpty());
        QCOMPARE(m_client.delivered(m_alice, {fileId}).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRelayRefusals)
#include "TestRelayRefusals.moc"

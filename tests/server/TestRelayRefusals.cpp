// Requests the relay must refuse, each checked to change nothing: refusals a user has to read come
// as HTTP 200 with {"error": "..."}, malformed requests as 400 (or 413 for an oversized body).

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
    RelayProcess m_relay {QString(), {"--max-container", "64K", "--api-body-limit", "16K"}};
    RelayClient m_client {m_relay};
    const QUuid m_alice = QUuid::createUuid(), m_bob = QUuid::createUuid(), m_carol = QUuid::createUuid();
    QString m_bobKeyId;
    qint32 m_waiting = 0; // Alice's container for Bob, waiting throughout

    // Every stored row and blob file: all that a refusal must leave as it was.
    QStringList snapshot() const
    {
        const QDir blobs(m_relay.dataDir() + "/containers");
        QStringList s
            = blobs.entryList(QDir::Files) + QDir(blobs.filePath("incoming")).entryList(QDir::Files);
        for (const QString table : {"pubkeys", "contacts", "containers", "feedback"}) {
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
        QVERIFY(!m_bobKeyId.isEmpty() && !m_client.registerKey(m_carol, m_keys[2]).isEmpty());
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

        row("wrong MD5") << "upload-pubkey" << m_carol << wrongMd5 << 200;
        row("fingerprint of another key")
            << "upload-pubkey" << m_carol << R::pubKeyBody(fresh.publicKey, m_keys[0].fingerprint) << 200;
        row("secret key") << "upload-pubkey" << m_carol << R::pubKeyBody(fresh.secretKey, fresh.fingerprint)
                          << 200;
        row("key of another installation")
            << "upload-pubkey" << m_carol << R::pubKeyBody(m_keys[0].publicKey, m_keys[0].fingerprint) << 200;
        row("attach unknown key id") << "attach-key" << m_alice << R::attachBody("12") << 200;
        row("download unknown key id") << "download-pubkey" << m_alice << QByteArray("12") << 200;
        row("can-upload over the limit") << "can-upload" << m_alice << R::canUploadBody(64 * 1024 + 1) << 200;
        row("container over the limit")
            << up << m_alice << R::container(QByteArray(64 * 1024, 'o'), bobFpr) << 200;
        row("method 2 container") << up << m_alice << R::container(QByteArray(500, 'p'), {}, 2) << 200;
        row("recipient not registered")
            << up << m_alice << R::container(QByteArray(500, 'r'), fresh.fingerprint) << 200;
        const QByteArray completeWaiting = '\x00' + QByteArray::number(m_waiting);
        row("download-complete from a stranger") << "download-complete" << m_carol << completeWaiting << 200;
        row("download-complete from the uploader")
            << "download-complete" << m_alice << completeWaiting << 200;
        // Malformed: lengths that point past the end of the body, a body over the limit.
        row("body shorter than the prefix")
            << "/api/check-new-files" << QUuid() << '\x03' + QByteArray("CHECK") << 400;
        row("attach length beyond the body")
            << "attach-key" << m_alice << char(20) + m_bobKeyId.toLatin1() << 400;
        row("api body over the limit")
            << "send-feedback" << m_alice << "{\"message\":\"" + QByteArray(20000, 'm') + "\"}" << 413;
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
        QVERIFY2(status != 200 || reply.isRefusal(), reply.body.constData());
        QCOMPARE(snapshot(), before);
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

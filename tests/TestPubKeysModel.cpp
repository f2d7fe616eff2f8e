#include "models/PrivKeysModel.h"
#include "models/PubKeysModel.h"
#include "net/NetworkManager.h"
#include "util/RelayProcess.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QMutex>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>

#include <httplib.h>

namespace {

// The contacts in the database, one "keyId|alias|fpr|public key in hex" each, by key id.
QStringList contactRows()
{
    QStringList rows;
    QSqlQuery query("SELECT remote_key_id, key_alias, fpr, hex(public) FROM key_data WHERE private IS NULL "
                    "ORDER BY remote_key_id");
    while (query.next()) {
        rows.append(QStringList {query.value(0).toString(), query.value(1).toString(),
                                 query.value(2).toString(), query.value(3).toString()}
                        .join('|'));
    }
    return rows;
}

bool addContactRow(const QString& keyId, const QString& alias)
{
    QSqlQuery query;
    query.prepare("INSERT INTO key_data (remote_key_id, key_alias) VALUES (?, ?)");
    query.bindValue(0, keyId);
    query.bindValue(1, alias);
    return query.exec();
}

QString texts(const QSignalSpy& spy)
{
    QStringList texts;
    for (const QList<QVariant>& signal : spy)
        texts.append(signal.at(0).toString());
    return texts.join('\n');
}

const QByteArray kOwnFpr(40, 'A');
const QByteArray kKey = "\x99\x01\x0d\x04 raw key";

} // namespace

class TestPubKeysModel : public QObject
{
    Q_OBJECT

    void answer(const QByteArray& body)
    {
        QMutexLocker locker(&m_mutex);
        m_reply = body;
    }

    TestHome m_home;
    std::unique_ptr<ScriptedServer> m_server;
    QMutex m_mutex; // guards m_reply, which the server's thread reads
    QByteArray m_reply;

private slots:
    void initTestCase();
    void init();
    void addPubKey_data();
    void addPubKey();
    void downloadPubKey_data();
    void downloadPubKey();
    void rowEdits_data();
    void rowEdits();
    void againstRelay();
};

void TestPubKeysModel::initTestCase()
{
    QVERIFY(m_home.openDatabase());
    m_server = std::make_unique<ScriptedServer>();
    QVERIFY(m_server->isRunning());
    m_server->makeCurrent();
    for (const char* path : {"/api/attach-key", "/api/download-pubkey"}) {
        m_server->handle("POST", path, [this](const httplib::Request&, httplib::Response& res) {
            QMutexLocker locker(&m_mutex);
            res.set_content(m_reply.toStdString(), "application/json");
        });
    }
}

void TestPubKeysModel::init()
{
    // Only an own key, which holds a key id and a fingerprint that no contact may take.
    QSqlQuery query;
    QVERIFY(query.exec("DELETE FROM key_data"));
    QVERIFY(query.exec("INSERT INTO key_data (remote_key_id, fpr, public, private) VALUES ('500', '" + kOwnFpr
                       + "', 'p', 's')"));
    m_server->clearRequests();
}

void TestPubKeysModel::addPubKey_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::addRow("server's key id is stored") << QByteArray(R"({"keyId":"0042"})") << QString();
    QTest::addRow("empty reply") << QByteArray() << "Cannot get server response";
    QTest::addRow("error wins over key id")
        << QByteArray(R"({"keyId":"42","error":"No such key"})") << "No such key";
    QTest::addRow("empty object") << QByteArray("{}") << "Invalid server response";
    QTest::addRow("numeric key id") << QByteArray(R"({"keyId":42})") << "Invalid server response";
}

void TestPubKeysModel::addPubKey()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    answer(reply);

    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy errors(&model, &PubKeysModel::error);
    QSignalSpy notFound(&model, &PubKeysModel::contactNotFound);
    QCOMPARE(model.addPubKey("123 456-789"), message.isEmpty());
    QCOMPARE(m_server->lastRequest().path, "/api/attach-key");
    QVERIFY(m_server->lastRequest().body == NetworkManager::clientPrefix() + QByteArray(1, 9) + "123456789");
    QCOMPARE(texts(errors), message);
    QCOMPARE(notFound.count(), message.isEmpty() ? 0 : 1);
    // The key id as the server wrote it.
    QCOMPARE(contactRows(), message.isEmpty() ? QStringList {"0042|||"} : QStringList());
    QCOMPARE(model.rowCount(), contactRows().size());
}

void TestPubKeysModel::downloadPubKey_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    const QByteArray key = '"' + kKey.toBase64() + '"';
    const QByteArray fpr = "0123456789abcdef0123456789abcdef01234567";
    auto json = [](const QByteArray& id, const QByteArray& fpr, const QByteArray& data) {
        return R"({"keyId":)" + id + R"(,"fpr":")" + fpr + R"(","keyData":)" + data + "}";
    };
    QTest::addRow("lower-case fingerprint") << json("\"42\"", fpr, key) << QString();
    QTest::addRow("server error") << QByteArray(R"({"error":"Unknown key id","keyData":"eA=="})")
                                  << "Unknown key id";
    QTest::addRow("empty key data") << json("\"42\"", fpr, "\"\"") << "Invalid key data in response";
    QTest::addRow("fingerprint of another row")
        << json("\"42\"", kOwnFpr.toLower(), key) << "Cannot update key data";
}

void TestPubKeysModel::downloadPubKey()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QVERIFY(addContactRow("42", "Ann"));
    answer(reply);

    PubKeysModel model;
    QSignalSpy errors(&model, &PubKeysModel::error);
    QSignalSpy downloaded(&model, &PubKeysModel::keyDownloaded);
    model.downloadPubKey(" 4-2 ");
    QVERIFY(m_server->lastRequest().body == NetworkManager::clientPrefix() + "42");
    QCOMPARE(texts(errors), message);
    const QString fpr = "0123456789ABCDEF0123456789ABCDEF01234567";
    QCOMPARE(texts(downloaded), message.isEmpty() ? fpr : QString());
    QCOMPARE(contactRows(),
             QStringList {message.isEmpty() ? "42|Ann|" + fpr + '|' + kKey.toHex().toUpper() : "42|Ann||"});
}

void TestPubKeysModel::rowEdits_data()
{
    QTest::addColumn<bool>("remove");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("contacts");
    QTest::addRow("delete -1") << true << -1 << "42|Ann|| 43|Bob||";
    QTest::addRow("delete at row count") << true << 2 << "42|Ann|| 43|Bob||";
    QTest::addRow("delete first") << true << 0 << "43|Bob||";
    QTest::addRow("rename at row count") << false << 2 << "42|Ann|| 43|Bob||";
    QTest::addRow("rename last") << false << 1 << "42|Ann|| 43|Eve||";
}

void TestPubKeysModel::rowEdits()
{
    QFETCH(bool, remove);
    QFETCH(int, index);
    QFETCH(QString, contacts);
    QVERIFY(addContactRow("42", "Ann") && addContactRow("43", "Bob"));

    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const bool valid = index >= 0 && index < 2;
    QCOMPARE(remove ? model.deletePubKey(index) : model.editKeyAlias(index, "Eve"), valid);
    QCOMPARE(contactRows().join(' '), contacts);
    QCOMPARE(model.rowCount(), contactRows().size());
    QVERIFY(m_server->requests().isEmpty());
    QSqlQuery own("SELECT COUNT(*) FROM key_data WHERE private IS NOT NULL");
    QVERIFY(own.next() && own.value(0).toInt() == 1);
}

void TestPubKeysModel::againstRelay()
{
    RelayProcess relay;
    QString reason;
    QVERIFY2(relay.start(&reason), qPrintable(reason));
    relay.makeCurrent();
    auto restoreServer = qScopeGuard([this] { m_server->makeCurrent(); });
    QSqlQuery clear;
    QVERIFY(clear.exec("DELETE FROM key_data"));

    // Bob registers his key from another installation; then his row goes, as it was never ours.
    PrivKeysModel own;
    QSignalSpy generated(&own, &PrivKeysModel::genKeyPairCompleted);
    own.genKeyPair();
    QVERIFY(generated.wait(60000));
    QSettings settings;
    const QUuid myUid = settings.value("uid").toUuid();
    settings.setValue("uid", QUuid::createUuid());
    const QString bobKeyId = own.uploadPublicKey(0);
    settings.setValue("uid", myUid);
    QVERIFY(!bobKeyId.isEmpty());
    const QString bobFpr = own.data(own.index(0, 0), 259).toString();
    const QByteArray bobPublic = own.data(own.index(0, 0), 260).toByteArray();
    QVERIFY(clear.exec("DELETE FROM key_data"));

    PubKeysModel contacts;
    QSignalSpy errors(&contacts, &PubKeysModel::error);
    QSignalSpy contactErrors(&contacts, &PubKeysModel::contactError);
    QSignalSpy downloaded(&contacts, &PubKeysModel::keyDownloaded);
    const QString typed = bobKeyId.left(1) + ' ' + bobKeyId.mid(1); // as people copy ids
    QVERIFY(contacts.addPubKey(typed));
    QVERIFY(contacts.setKeyTitle(typed, "Bob"));
    QCOMPARE(contacts.contactTitle(bobKeyId), "Bob");
    QVERIFY(!contacts.addPubKey(bobKeyId));
    QCOMPARE(texts(contactErrors), "You already have this contact");

    contacts.downloadPubKey(typed);
    QCOMPARE(texts(downloaded), bobFpr);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(contactRows(), QStringList {bobKeyId + "|Bob|" + bobFpr + '|' + bobPublic.toHex().toUpper()});
}

QTEST_GUILESS_MAIN(TestPubKeysModel)
#include "TestPubKeysModel.moc"

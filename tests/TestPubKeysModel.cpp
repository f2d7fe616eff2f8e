#include "models/PubKeysModel.h"
#include "net/RelayClient.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QMutex>
#include <QSignalSpy>
#include <QSqlQuery>
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
    void fetchKey_data();
    void fetchKey();
    void setKeyTitle();
    void rowEdits_data();
    void rowEdits();
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
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("contactError");
    const QString id = QStringLiteral("123 456-789");
    QTest::addRow("server's key id is stored")
        << id << QByteArray(R"({"keyId":"0042"})") << QString() << QString();
    QTest::addRow("refused") << id << QByteArray(R"({"error":"No such key"})") << "No such key" << QString();
    QTest::addRow("a contact already")
        << id << QByteArray(R"({"keyId":"43"})") << QString() << "You already have this contact";
    // Refused before any request.
    QTest::addRow("nothing but separators")
        << " - " << QByteArray() << QString() << "Enter the ID of the contact";
    QTest::addRow("letters") << "bob" << QByteArray() << QString() << "An ID is made of digits only";
    QTest::addRow("a letter among digits")
        << "12O4" << QByteArray() << QString() << "An ID is made of digits only";
    QTest::addRow("own id") << "5 00" << QByteArray() << QString() << "This is your own ID";
}

void TestPubKeysModel::addPubKey()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QFETCH(QString, contactError);
    QVERIFY(addContactRow("43", "Bob"));
    answer(reply);

    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy errors(&model, &PubKeysModel::error);
    QSignalSpy notFound(&model, &PubKeysModel::contactNotFound);
    QSignalSpy contactErrors(&model, &PubKeysModel::contactError);
    QSignalSpy added(&model, &PubKeysModel::contactAdded);
    model.addPubKey(typed);
    QTRY_COMPARE_WITH_TIMEOUT(errors.size() + added.size() + contactErrors.size(), 1, 30000);
    if (reply.isEmpty())
        QVERIFY(m_server->requests().isEmpty());
    else
        QVERIFY(m_server->lastRequest().body == RelayClient::clientPrefix() + QByteArray(1, 9) + "123456789");
    QCOMPARE(texts(errors), message);
    QCOMPARE(notFound.count(), message.isEmpty() ? 0 : 1);
    QCOMPARE(texts(contactErrors), contactError);
    // The key id as the server wrote it.
    const bool stored = message.isEmpty() && contactError.isEmpty();
    QCOMPARE(texts(added), stored ? "0042" : "");
    QCOMPARE(contactRows(), stored ? QStringList({"0042|||", "43|Bob||"}) : QStringList {"43|Bob||"});
    QCOMPARE(model.rowCount(), contactRows().size());
}

void TestPubKeysModel::fetchKey_data()
{
    QTest::addColumn<QByteArray>("fpr");
    QTest::addColumn<QString>("message");
    QTest::addRow("lower-case fingerprint")
        << QByteArray("0123456789abcdef0123456789abcdef01234567") << QString();
    QTest::addRow("fingerprint of another row") << kOwnFpr.toLower() << "Cannot update key data";
}

void TestPubKeysModel::fetchKey()
{
    QFETCH(QByteArray, fpr);
    QFETCH(QString, message);
    QVERIFY(addContactRow("42", "Ann"));
    answer(R"({"keyId":"42","fpr":")" + fpr + R"(","keyData":")" + kKey.toBase64() + R"("})");
    RelayClient relay;
    QString result;
    PubKeysModel::fetchKey(&relay, " 4-2 ", this, [&](const QString& key, const QString& error) {
        result = error.isNull() ? key : error;
    });
    QTRY_VERIFY_WITH_TIMEOUT(!result.isNull(), 30000);
    const QString upper = QString::fromLatin1(fpr).toUpper();
    QCOMPARE(result, message.isEmpty() ? upper : message);
    QCOMPARE(contactRows(),
             QStringList {message.isEmpty() ? "42|Ann|" + upper + '|' + kKey.toHex().toUpper() : "42|Ann||"});
}

void TestPubKeysModel::setKeyTitle()
{
    QVERIFY(addContactRow("42", "Ann"));
    PubKeysModel model;
    QSignalSpy set(&model, &PubKeysModel::keyTitleSet);
    QSignalSpy errors(&model, &PubKeysModel::error);
    answer(R"({"error":"Not yours"})");
    model.setKeyTitle("4-2", "Eve");
    QVERIFY(errors.wait(30000));
    QCOMPARE(contactRows(), QStringList {"42|Ann||"});
    answer(R"({"keyId":"42"})");
    model.setKeyTitle("4-2", "Eve");
    QVERIFY(set.wait(30000));
    QVERIFY(m_server->lastRequest().body == RelayClient::clientPrefix() + QByteArray(1, 2) + "42Eve");
    QCOMPARE(contactRows(), QStringList {"42|Eve||"});
    QCOMPARE(model.contactTitle("42"), "Eve");
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

QTEST_GUILESS_MAIN(TestPubKeysModel)
#include "TestPubKeysModel.moc"

#include "gpg/Crypter.h"
#include "gpg/Gpg.h"
#include "models/PrivKeysModel.h"
#include "models/PubKeysModel.h"
#include "net/NetworkManager.h"
#include "util/RelayProcess.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>

#include <httplib.h>

namespace {

struct Row
{
    QVariant keyId, alias, fpr, publicKey;
};

QList<Row> contactsInDatabase()
{
    QList<Row> rows;
    QSqlQuery query("SELECT remote_key_id, key_alias, fpr, public FROM key_data WHERE private IS NULL "
                    "ORDER BY remote_key_id");
    while (query.next())
        rows.append({query.value(0), query.value(1), query.value(2), query.value(3)});
    return rows;
}

bool addContactRow(const QString& keyId, const QVariant& alias = QVariant())
{
    QSqlQuery query;
    query.prepare("INSERT INTO key_data (remote_key_id, key_alias) VALUES (?, ?)");
    query.bindValue(0, keyId);
    query.bindValue(1, alias);
    return query.exec();
}

const QByteArray kOwnFpr(40, 'A');
const QByteArray kKey = "\x99\x01\x0d\x04 raw key";

} // namespace

class TestPubKeysModel : public QObject
{
    Q_OBJECT

    void answer(const QString& path, int status, const QByteArray& body)
    {
        QMutexLocker locker(&m_mutex);
        m_replies.insert(path, qMakePair(status, body));
    }

    TestHome m_home;
    std::unique_ptr<ScriptedServer> m_server;
    QMutex m_mutex; // guards m_replies, which the server's thread reads
    QHash<QString, QPair<int, QByteArray>> m_replies;

private slots:
    void initTestCase();
    void init();
    void attachKeyBody_data();
    void attachKeyBody();
    void addPubKey_data();
    void addPubKey();
    void addTwice();
    void setKeyTitle_data();
    void setKeyTitle();
    void downloadPubKey_data();
    void downloadPubKey();
    void downloadWithoutDigits();
    void deletePubKey_data();
    void deletePubKey();
    void lookups();
    void againstRelay();
    void cleanupTestCase();
};

void TestPubKeysModel::initTestCase()
{
    QVERIFY(m_home.openDatabase());
    m_server = std::make_unique<ScriptedServer>();
    QVERIFY(m_server->isRunning());
    m_server->makeCurrent();
    for (const char* path : {"/api/attach-key", "/api/download-pubkey"}) {
        m_server->handle("POST", path, [this](const httplib::Request& req, httplib::Response& res) {
            QMutexLocker locker(&m_mutex);
            const auto reply = m_replies.value(QString::fromStdString(req.path));
            res.status = reply.first;
            res.set_content(reply.second.toStdString(), "application/json");
        });
    }
    m_server->reply("GET", "/api/download-pubkey", 405, "{}");
}

void TestPubKeysModel::init()
{
    // Only an own key, which holds a key id and a fingerprint that no contact may take.
    QSqlQuery query;
    QVERIFY(query.exec("DELETE FROM key_data"));
    query.prepare("INSERT INTO key_data (remote_key_id, fpr, public, private) VALUES ('500', ?, 'p', 's')");
    query.bindValue(0, QString(kOwnFpr));
    QVERIFY(query.exec());
    m_server->clearRequests();
}

void TestPubKeysModel::attachKeyBody_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("body");

    QTest::addRow("blanks and hyphens") << "123 456-789" << QString()
                                        << QByteArray("\x09"
                                                      "123456789");
    QTest::addRow("no digits") << "abc" << QString() << QByteArray(1, '\0');
    QTest::addRow("only ASCII digits") << QString::fromUtf8("1\u0663 2") << QString()
                                       << QByteArray("\x02"
                                                     "12");
    QTest::addRow("title in UTF-8") << "42" << QString::fromUtf8("Zoë B")
                                    << QByteArray("\x02"
                                                  "42Zo\xc3\xab B");
    QTest::addRow("low 8 bits of the length")
        << QString(300, '7') << QString() << '\x2c' + QByteArray(300, '7');
}

void TestPubKeysModel::attachKeyBody()
{
    QFETCH(QString, typed);
    QFETCH(QString, title);
    QFETCH(QByteArray, body);
    answer("/api/attach-key", 200, R"({"keyId":"1"})");

    PubKeysModel model;
    if (title.isEmpty())
        model.addPubKey(typed);
    else
        model.setKeyTitle(typed, title);
    const ScriptedServer::Request request = m_server->lastRequest();
    QCOMPARE(request.method + ' ' + request.path, "POST /api/attach-key");
    QVERIFY(request.body == NetworkManager::clientPrefix() + body);
}

void TestPubKeysModel::addPubKey_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");

    QTest::addRow("server's key id is stored") << 200 << QByteArray(R"({"keyId":"0042"})") << QString();
    QTest::addRow("empty reply") << 200 << QByteArray() << "Cannot get server response";
    QTest::addRow("HTTP error") << 404 << QByteArray(R"({"keyId":"42"})") << "Cannot get server response";
    QTest::addRow("error wins over key id")
        << 200 << QByteArray(R"({"keyId":"42","error":"No such key"})") << "No such key";
    QTest::addRow("empty object") << 200 << QByteArray("{}") << "Invalid server response";
    QTest::addRow("numeric key id") << 200 << QByteArray(R"({"keyId":42})") << "Invalid server response";
    QTest::addRow("empty key id") << 200 << QByteArray(R"({"keyId":""})") << "Invalid server response";
    QTest::addRow("not JSON") << 200 << QByteArray("OK") << "Invalid server response";
}

void TestPubKeysModel::addPubKey()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    answer("/api/attach-key", status, reply);

    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy errors(&model, &PubKeysModel::error);
    QSignalSpy notFound(&model, &PubKeysModel::contactNotFound);
    QSignalSpy contactErrors(&model, &PubKeysModel::contactError);

    QCOMPARE(model.addPubKey("42"), message.isEmpty());
    QCOMPARE(contactErrors.count(), 0);
    const QList<Row> rows = contactsInDatabase();
    if (message.isEmpty()) {
        QCOMPARE(errors.count() + notFound.count(), 0);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0, 0), 257).toString(), "0042"); // as the server wrote it
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows.at(0).alias.isNull() && rows.at(0).fpr.isNull() && rows.at(0).publicKey.isNull());
    } else {
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), message);
        QCOMPARE(notFound.count(), 1);
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(rows.isEmpty());
    }
}

void TestPubKeysModel::addTwice()
{
    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy errors(&model, &PubKeysModel::error);
    QSignalSpy notFound(&model, &PubKeysModel::contactNotFound);
    QSignalSpy contactErrors(&model, &PubKeysModel::contactError);

    answer("/api/attach-key", 200, R"({"keyId":"42"})");
    QVERIFY(model.addPubKey("42"));
    QVERIFY(!model.addPubKey("4 2"));
    // The user's own key id is stored already, so it cannot become a contact either.
    answer("/api/attach-key", 200, R"({"keyId":"500"})");
    QVERIFY(!model.addPubKey("500"));

    QCOMPARE(contactErrors.count(), 2);
    for (const QList<QVariant>& signal : contactErrors)
        QCOMPARE(signal.at(0).toString(), "You already have this contact");
    QCOMPARE(errors.count() + notFound.count(), 0);
    QCOMPARE(model.rowCount(), 1);
}

void TestPubKeysModel::setKeyTitle_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("title42");
    QTest::addColumn<QString>("message");

    QTest::addRow("renamed") << QByteArray(R"({"keyId":"42"})") << true << QString::fromUtf8("Anna Ö")
                             << QString();
    QTest::addRow("server names another contact")
        << QByteArray(R"({"keyId":"43"})") << true << "Old" << QString();
    QTest::addRow("unknown key id still succeeds")
        << QByteArray(R"({"keyId":"999"})") << true << "Old" << QString();
    QTest::addRow("server refuses") << QByteArray(R"({"error":"Not yours"})") << false << "Old"
                                    << "Not yours";
    QTest::addRow("no key id") << QByteArray(R"({"ok":true})") << false << "Old"
                               << "Invalid server response";
}

void TestPubKeysModel::setKeyTitle()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, result);
    QFETCH(QString, title42);
    QFETCH(QString, message);
    QVERIFY(addContactRow("42", "Old") && addContactRow("43", "Other"));
    answer("/api/attach-key", 200, reply);

    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy errors(&model, &PubKeysModel::error);
    QSignalSpy notFound(&model, &PubKeysModel::contactNotFound);
    QCOMPARE(model.setKeyTitle("4-2", QString::fromUtf8("Anna Ö")), result);
    QCOMPARE(model.contactTitle("42"), title42);
    QCOMPARE(errors.count(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QCOMPARE(errors.at(0).at(0).toString(), message);
    QCOMPARE(notFound.count(), 0);
}

void TestPubKeysModel::downloadPubKey_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");

    const QByteArray key = kKey.toBase64();
    const QByteArray fpr = "0123456789abcdef0123456789abcdef01234567";
    auto json = [](const QByteArray& id, const QByteArray& fpr, const QByteArray& data) {
        return R"({"keyId":)" + id + R"(,"fpr":")" + fpr + R"(","keyData":)" + data + "}";
    };
    QTest::addRow("lower-case fingerprint") << 200 << json("\"42\"", fpr, '"' + key + '"') << QString();
    QTest::addRow("empty reply") << 200 << QByteArray() << "Cannot get server response";
    QTest::addRow("HTTP error") << 500 << json("\"42\"", fpr, '"' + key + '"')
                                << "Cannot get server response";
    QTest::addRow("server error") << 200 << QByteArray(R"({"error":"Unknown key id","keyData":"eA=="})")
                                  << "Unknown key id";
    QTest::addRow("no key data") << 200 << QByteArray(R"({"keyId":"42","fpr":")" + fpr + "\"}")
                                 << "Invalid server response";
    QTest::addRow("empty key data") << 200 << json("\"42\"", fpr, "\"\"") << "Invalid key data in response";
    QTest::addRow("key data not a string")
        << 200 << json("\"42\"", fpr, "5") << "Invalid key data in response";
    QTest::addRow("empty fingerprint")
        << 200 << json("\"42\"", "", '"' + key + '"') << "Invalid key data in response";
    QTest::addRow("numeric key id") << 200 << json("42", fpr, '"' + key + '"')
                                    << "Invalid key data in response";
    QTest::addRow("fingerprint of another row")
        << 200 << json("\"42\"", kOwnFpr.toLower(), '"' + key + '"') << "Cannot update key data";
}

void TestPubKeysModel::downloadPubKey()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    QVERIFY(addContactRow("42", "Ann"));
    answer("/api/download-pubkey", status, reply);

    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy errors(&model, &PubKeysModel::error);
    QSignalSpy downloaded(&model, &PubKeysModel::keyDownloaded);
    model.downloadPubKey(" 4-2 ");
    QVERIFY(m_server->lastRequest().body == NetworkManager::clientPrefix() + "42");

    const QList<Row> rows = contactsInDatabase();
    QCOMPARE(rows.size(), 1);
    if (message.isEmpty()) {
        const QString fpr = "0123456789ABCDEF0123456789ABCDEF01234567";
        QCOMPARE(errors.count(), 0);
        QCOMPARE(downloaded.count(), 1);
        QCOMPARE(downloaded.at(0).at(0).toString(), fpr);
        QCOMPARE(rows.at(0).fpr.toString(), fpr);
        QVERIFY(rows.at(0).publicKey.toByteArray() == kKey);
        QCOMPARE(rows.at(0).alias.toString(), "Ann");
    } else {
        QCOMPARE(downloaded.count(), 0);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), message);
        QVERIFY(rows.at(0).fpr.isNull() && rows.at(0).publicKey.isNull());
    }
}

void TestPubKeysModel::downloadWithoutDigits()
{
    // Nothing is left to send: a GET without body, which the server does not answer with a key.
    PubKeysModel model;
    QSignalSpy errors(&model, &PubKeysModel::error);
    model.downloadPubKey("none");
    QCOMPARE(m_server->lastRequest().method, "GET");
    QVERIFY(m_server->lastRequest().body.isEmpty());
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), "Cannot get server response");
}

void TestPubKeysModel::deletePubKey_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("remaining");
    QTest::addRow("negative") << -1 << "42 43";
    QTest::addRow("row count") << 2 << "42 43";
    QTest::addRow("first") << 0 << "43";
    QTest::addRow("last") << 1 << "42";
}

void TestPubKeysModel::deletePubKey()
{
    QFETCH(int, index);
    QFETCH(QString, remaining);
    QVERIFY(addContactRow("42", "Ann") && addContactRow("43", "Bob"));

    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.deletePubKey(index), !remaining.contains(' '));
    QStringList ids;
    for (const Row& row : contactsInDatabase())
        ids.append(row.keyId.toString());
    QCOMPARE(ids.join(' '), remaining);
    QCOMPARE(model.rowCount(), ids.size());
    QVERIFY(m_server->requests().isEmpty());
    QSqlQuery own("SELECT COUNT(*) FROM key_data WHERE private IS NOT NULL");
    QVERIFY(own.next() && own.value(0).toInt() == 1);
}

void TestPubKeysModel::lookups()
{
    QVERIFY(addContactRow("1", "bob") && addContactRow("2", "Carl") && addContactRow("3")
            && addContactRow("4", "Anna"));
    PubKeysModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    // By title in byte order, untitled first.
    QStringList order;
    for (int row = 0; row < model.rowCount(); ++row)
        order.append(model.data(model.index(row, 0), 257).toString());
    QCOMPARE(order, (QStringList {"3", "4", "2", "1"}));

    QCOMPARE(model.contactTitle("4"), "Anna");
    QCOMPARE(model.contactTitle(" 4"), QString()); // not normalised
    QCOMPARE(model.contactTitle("3"), QString());
    const QVariantMap untitled = model.contactDetails(0);
    QCOMPARE(untitled.value("keyId").toString(), "3");
    QVERIFY(untitled.contains("title") && untitled.value("title").isNull());
    QCOMPARE(model.contactDetails(1).value("title").toString(), "Anna");
    QVERIFY(model.contactDetails(4).value("keyId").toString().isEmpty());

    QVERIFY(model.editKeyAlias(1, "Anne"));
    QCOMPARE(model.contactTitle("4"), "Anne");
    QVERIFY(!model.editKeyAlias(4, "x"));
    QVERIFY(!model.editKeyAlias(-1, "x"));
    QVERIFY(m_server->requests().isEmpty());
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
    own.select();

    own.genKeyPair();
    QVERIFY(generated.wait(60000));
    const QString myKeyId = own.uploadPublicKey(0);
    QVERIFY(!myKeyId.isEmpty() && myKeyId != bobKeyId);

    PubKeysModel contacts;
    QAbstractItemModelTester tester(&contacts, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy errors(&contacts, &PubKeysModel::error);
    QSignalSpy contactErrors(&contacts, &PubKeysModel::contactError);
    QSignalSpy notFound(&contacts, &PubKeysModel::contactNotFound);
    QSignalSpy downloaded(&contacts, &PubKeysModel::keyDownloaded);

    const QString typed = bobKeyId.left(1) + ' ' + bobKeyId.mid(1); // as people copy ids
    QVERIFY(contacts.addPubKey(typed));
    QVERIFY(contacts.setKeyTitle(typed, "Bob"));
    QCOMPARE(contacts.contactTitle(bobKeyId), "Bob");
    QVERIFY(!contacts.addPubKey(bobKeyId));
    QCOMPARE(contactErrors.count(), 1);
    QCOMPARE(errors.count(), 0);

    contacts.downloadPubKey(typed);
    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.at(0).at(0).toString(), bobFpr);
    QCOMPARE(errors.count(), 0);
    const QList<Row> rows = contactsInDatabase();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).fpr.toString(), bobFpr);
    QVERIFY(rows.at(0).publicKey.toByteArray() == bobPublic);

    // The downloaded key is usable for sending.
    QTemporaryDir work;
    QFile plain(work.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("for Bob") == 7);
    plain.close();
    Crypter crypter;
    QVERIFY(crypter.crypt(plain.fileName(), plain.fileName() + ".encrypted", 1, bobFpr, true));

    // Whether the server attaches a user's own key id is its choice; either way no row is added.
    QVERIFY(!contacts.addPubKey(myKeyId));
    QCOMPARE(contactErrors.count() + notFound.count(), 2);
    // An id that the server does not know is refused.
    notFound.clear();
    errors.clear();
    QVERIFY(!contacts.addPubKey("99999999999"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(notFound.count(), 1);
    QCOMPARE(contactsInDatabase().size(), 1);
}

void TestPubKeysModel::cleanupTestCase()
{
    // Stop the agent that gpg started for the test home before the home is removed under it.
    QProcess::execute("gpgconf", {"--homedir", gpgHomeDir(), "--kill", "gpg-agent"});
}

QTEST_GUILESS_MAIN(TestPubKeysModel)
#include "TestPubKeysModel.moc"

#include "ContainerTestSupport.h"
#include "gpg/Gpg.h"
#include "models/ContactKeys.h"
#include "models/PubKeysModel.h"
#include "net/RelayClient.h"
#include "util/TestFiles.h"

#include <QAbstractItemModelTester>
#include <QJsonDocument>
#include <QJsonObject>
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

} // namespace

class TestPubKeysModel : public QObject
{
    Q_OBJECT

    void answer(const QByteArray& body, const QString& path = QStringLiteral("/api/attach-key"))
    {
        QMutexLocker locker(&m_mutex);
        m_replies[path] = body;
    }
    // The relay's answer to "/download-pubkey": keyId, fingerprint and key data.
    void answerKey(const QByteArray& keyId, const QString& fpr, const QByteArray& key)
    {
        answer(
            QJsonDocument(
                QJsonObject {{"keyId", QString(keyId)}, {"fpr", fpr}, {"keyData", QString(key.toBase64())}})
                .toJson(),
            QStringLiteral("/api/download-pubkey"));
    }

    TestHome m_home;
    ContainerTestSupport::GpgHome m_gpg;
    std::unique_ptr<ScriptedServer> m_server;
    QMutex m_mutex; // guards m_replies, which the server's thread reads
    QMap<QString, QByteArray> m_replies;
    QMap<QString, QString> m_fprs; // of Ann's and Bob's keys
    QMap<QString, QByteArray> m_keys; // their public keys, and Ann's secret one

private slots:
    void initTestCase();
    void init();
    void addPubKey_data();
    void addPubKey();
    void pinning_data();
    void pinning();
    void safetyNumber_data();
    void safetyNumber();
    void setKeyTitle();
    void rowEdits_data();
    void rowEdits();
};

void TestPubKeysModel::initTestCase()
{
    QVERIFY(m_home.openDatabase());
    for (const QString name : {"Ann", "Bob"})
        QVERIFY(m_gpg.generate(name, &m_fprs[name], &m_keys[name],
                               name == "Ann" ? &m_keys["Ann secret"] : nullptr));
    m_server = std::make_unique<ScriptedServer>();
    QVERIFY(m_server->isRunning());
    m_server->makeCurrent();
    for (const char* path : {"/api/attach-key", "/api/download-pubkey"}) {
        m_server->handle("POST", path, [this, path](const httplib::Request&, httplib::Response& res) {
            QMutexLocker locker(&m_mutex);
            res.set_content(m_replies.value(path).toStdString(), "application/json");
        });
    }
    // gpg makes its files in the data folder the first time it runs, whatever it is asked.
    QVERIFY(QProcess::execute("gpg", {"--homedir", m_home.dataDir(), "--batch", "-k"}) == 0);
}

void TestPubKeysModel::init()
{
    // Only an own key, which holds a key id and a fingerprint that no contact may take.
    QSqlQuery query;
    QVERIFY(query.exec("DELETE FROM key_data"));
    QVERIFY(query.exec("INSERT INTO key_data (remote_key_id, fpr, public, private) VALUES ('500', '" + kOwnFpr
                       + "', 'p', 's')"));
    m_server->clearRequests();
    answerKey("0042", m_fprs["Ann"], m_keys["Ann"]);
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
        QVERIFY(m_server->requests().value(0).body
                == RelayClient::clientPrefix() + QByteArray(1, 9) + "123456789");
    QCOMPARE(texts(errors), message);
    QCOMPARE(notFound.count(), message.isEmpty() ? 0 : 1);
    QCOMPARE(texts(contactErrors), contactError);
    // The key id as the server wrote it.
    const bool stored = message.isEmpty() && contactError.isEmpty();
    QCOMPARE(texts(added), stored ? "0042" : "");
    // The key is pinned as the contact is added.
    const QString pinned = "0042||" + m_fprs["Ann"] + '|' + m_keys["Ann"].toHex().toUpper();
    QCOMPARE(contactRows(), stored ? QStringList({pinned, "43|Bob||"}) : QStringList {"43|Bob||"});
    QCOMPARE(model.rowCount(), contactRows().size());
}

// An answer of the relay is used only when it is what it claims; a contact's key is pinned the
// first time and replaced only by the key the user accepts. Nothing of an answer that is not used
// is stored anywhere: not in the database, the keyring or the data folder.
void TestPubKeysModel::pinning_data()
{
    QTest::addColumn<QString>("pinned"); // the contact's key before
    QTest::addColumn<QString>("answer"); // KEY [as KEYID] [named KEY]
    QTest::addColumn<QString>("accept"); // the key the user accepts, or none: a plain fetch
    QTest::addColumn<QString>("outcome");
    const QString unusable = QStringLiteral("The server sent an unusable key for 42. It was not used.");
    const QString ann = QStringLiteral("Ann"), bob = QStringLiteral("Bob"), none;
    QTest::addRow("first key") << none << ann << none << ann;
    QTest::addRow("same key") << ann << ann << none << "Ann verified";
    QTest::addRow("another key")
        << ann << "Bob" << none
        << "The key of Ann has changed, so nothing was sent. Pinned key: %Ann. Key offered now: %Bob. Accept "
           "the new key only once Ann has confirmed it, for example by comparing the safety number. verified";
    QTest::addRow("another key id")
        << none << "Ann as 43" << none
        << "The server answered with the key of 43 when asked for 42. It was not used.";
    QTest::addRow("fingerprint not the key's") << none << "Ann named Bob" << none << unusable;
    QTest::addRow("two keys") << none << "Ann+Bob" << none << unusable;
    QTest::addRow("secret key") << none << "Ann secret" << none << unusable;
    QTest::addRow("no key") << none << "garbage" << none << unusable;
    QTest::addRow("accepted") << ann << bob << bob << bob;
    QTest::addRow("accepted, but the relay offers another")
        << ann << "Bob" << ann
        << "The server now offers the key %Bob for 42, not the one you accepted. Nothing was changed. "
           "verified";
}

void TestPubKeysModel::pinning()
{
    QFETCH(QString, pinned);
    QFETCH(QString, answer);
    QFETCH(QString, accept);
    QFETCH(QString, outcome);
    QVERIFY(addContactRow("42", "Ann"));
    if (!pinned.isEmpty()) {
        QSqlQuery pin;
        pin.prepare("UPDATE key_data SET fpr = ?, public = ?, verified = 1 WHERE remote_key_id = '42'");
        pin.addBindValue(m_fprs[pinned]);
        pin.addBindValue(m_keys[pinned]);
        QVERIFY(pin.exec());
    }
    const QStringList words = answer.split(' ');
    QByteArray key;
    for (const QString& part : words.first().split('+'))
        key += m_keys.value(part + (words.contains("secret") ? " secret" : ""), "garbage");
    answerKey(words.contains("as") ? words.at(words.indexOf("as") + 1).toLatin1() : "42",
              m_fprs.value(words.contains("named") ? words.last() : words.first().section('+', 0, 0), "A1B2"),
              key);
    const QStringList rowsBefore = contactRows();
    const auto filesBefore = TestFiles::snapshot(m_home.dataDir());

    RelayClient relay;
    QString result;
    auto done = [&](const ContactKeys::Fetched& fetched) {
        result = fetched.error.isNull() ? m_fprs.key(fetched.fingerprint) : fetched.error;
    };
    if (accept.isEmpty())
        ContactKeys::fetch(&relay, " 4-2 ", this, done);
    else
        ContactKeys::accept(&relay, "42", ContactKeys::grouped(m_fprs[accept]).toLower(), this, done);
    QTRY_VERIFY_WITH_TIMEOUT(!result.isNull(), 30000);
    if (ContactKeys::isVerified("42"))
        result += " verified";
    for (const QString name : {"Ann", "Bob"})
        outcome.replace('%' + name, ContactKeys::grouped(m_fprs[name]));
    QCOMPARE(result, outcome);
    if (!m_fprs.contains(outcome.section(' ', 0, 0))) {
        QCOMPARE(contactRows(), rowsBefore);
        QCOMPARE(TestFiles::snapshot(m_home.dataDir()), filesBefore);
    }
    QProcess keyring;
    keyring.start("gpg", {"--homedir", m_home.dataDir(), "--with-colons", "-k"});
    QVERIFY(keyring.waitForFinished(30000));
    QCOMPARE(parseFingerprints(keyring.readAllStandardOutput()), QStringList());
}

// Both people see the same digits, whoever computes them; they change with either key. The digits
// here were computed by hand: printf '%s\n' FPR FPR | LC_ALL=C sort | tr -d '\n' | basenc -d --base16
// | sha512sum, then each 10 hexadecimal digits modulo 100000.
void TestPubKeysModel::safetyNumber_data()
{
    QTest::addColumn<QString>("mine");
    QTest::addColumn<QString>("theirs");
    QTest::addColumn<QString>("expected");
    const QString a = "90CDD5B26F368AD52F5E136E84F074F7D02EE8E7",
                  b = "826719E84651256F8C0298379570520F925EED07";
    const QString number = "29418 88408 87962 74507 35662 33164 94331 74292 94866 99615 91537 17685";
    QTest::addRow("mine first") << a << b << number;
    QTest::addRow("theirs first") << b << a << number;
    QTest::addRow("grouped, lower case") << ContactKeys::grouped(b).toLower() << a << number;
    QTest::addRow("their key changed") << a << QString(b).replace(39, 1, '8') << "!" + number;
    QTest::addRow("my key changed") << QString(a).replace(0, 1, '8') << b << "!" + number;
    QTest::addRow("no key pinned") << a << QString() << QString();
}

void TestPubKeysModel::safetyNumber()
{
    QFETCH(QString, mine);
    QFETCH(QString, theirs);
    QFETCH(QString, expected);
    const QString number = ContactKeys::safetyNumber(mine, theirs);
    if (expected.startsWith('!'))
        QVERIFY(number != expected.mid(1) && number.size() == expected.size() - 1);
    else
        QCOMPARE(number, expected);
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

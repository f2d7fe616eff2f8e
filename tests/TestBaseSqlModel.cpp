#include "models/BaseSqlModel.h"
#include "models/PrivKeysModel.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QSqlQuery>
#include <QtTest>

// Reaches indexes a view might still hold after the rows changed.
class ProbeModel : public BaseSqlModel
{
public:
    using BaseSqlModel::BaseSqlModel;
    QModelIndex rawIndex(int row, int column) const { return createIndex(row, column); }
};

class TestBaseSqlModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->openDatabase());
        QSqlQuery query;
        QVERIFY(query.exec(
            QStringLiteral("INSERT INTO key_data (remote_key_id, key_alias) VALUES ('1001', 'Ann')")));
        QVERIFY(query.exec(
            QStringLiteral("INSERT INTO file_events (datetime, remote_key_id, file_id, status, size) VALUES "
                           "('2026-01-02T03:04:05', '77', 5, 2, 99)")));
    }

    void rolesFollowColumns_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("columns");
        QTest::addRow("key_data") << QStringLiteral(
            "key_data") << QStringList {"remote_key_id", "key_alias", "fpr", "public", "private", "verified"};
        QTest::addRow("file_events") << QStringLiteral("file_events")
                                     << QStringList {"datetime", "remote_key_id", "file_id",
                                                     "status",   "size",          "signer"};
    }
    void rolesFollowColumns()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, columns);
        BaseSqlModel model(nullptr, QSqlDatabase(), table);
        const QHash<int, QByteArray> roles = model.roleNames();
        QCOMPARE(roles.size(), columns.size());
        for (int i = 0; i < columns.size(); ++i)
            QCOMPARE(roles.value(257 + i), columns.at(i).toUtf8());
    }

    void dataBounds_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("expected");
        QTest::addRow("role 257 is column 0") << 0 << 257 << QVariant(QStringLiteral("1001"));
        QTest::addRow("role 258 is column 1") << 0 << 258 << QVariant(QStringLiteral("Ann"));
        QTest::addRow("display role of column 0")
            << 0 << int(Qt::DisplayRole) << QVariant(QStringLiteral("1001"));
        QTest::addRow("role 256 names no column") << 0 << 256 << QVariant();
        QTest::addRow("role past the last column") << 0 << 263 << QVariant();
        QTest::addRow("row equal to the row count") << 1 << 257 << QVariant();
    }
    void dataBounds()
    {
        QFETCH(int, row);
        QFETCH(int, role);
        QFETCH(QVariant, expected);
        ProbeModel model(nullptr, QSqlDatabase(), QStringLiteral("key_data"));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(model.select());
        QCOMPARE(model.rowCount(), 1);
        const QVariant value = model.data(model.rawIndex(row, 0), role);
        QCOMPARE(value.isValid(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(value.toString(), expected.toString());
    }

    void reopeningKeepsRows()
    {
        m_home->closeDatabase();
        QVERIFY(m_home->openDatabase());
        BaseSqlModel model(nullptr, QSqlDatabase(), QStringLiteral("file_events"));
        QVERIFY(model.select());
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0, 0), 261).toLongLong(), 99);
    }

    void nullKeysAndFingerprintsMayRepeat()
    {
        QSqlQuery query;
        QVERIFY(query.exec(QStringLiteral("INSERT INTO key_data (fpr, private) VALUES ('AA', x'01')")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO key_data (fpr, private) VALUES ('BB', x'01')")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO key_data (remote_key_id) VALUES ('2002')")));
        QVERIFY(query.exec(QStringLiteral("INSERT INTO key_data (remote_key_id) VALUES ('2003')")));
        QVERIFY(!query.exec(QStringLiteral("INSERT INTO key_data (remote_key_id) VALUES ('2003')")));
        QVERIFY(!query.exec(QStringLiteral("INSERT INTO key_data (fpr) VALUES ('AA')")));

        // Own keys without a key id: a rename touches only the row asked for.
        PrivKeysModel own;
        QVERIFY(!own.editKeyAlias(-1, QStringLiteral("Laptop")));
        QVERIFY(!own.editKeyAlias(own.rowCount(), QStringLiteral("Laptop")));
        QVERIFY(own.editKeyAlias(1, QStringLiteral("Laptop")));
        QSqlQuery renamed(QStringLiteral("SELECT fpr FROM key_data WHERE key_alias = 'Laptop'"));
        QVERIFY(renamed.next());
        QCOMPARE(renamed.value(0).toString(), QStringLiteral("BB"));
        QVERIFY(!renamed.next());
    }

    // The database of an earlier version: the keys it holds stay pinned as they are, not verified.
    void earlierDatabaseKeepsWorking()
    {
        m_home->closeDatabase();
        QVERIFY(QFile::remove(m_home->dataDir() + "/data.db3"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "earlier");
            db.setDatabaseName(m_home->dataDir() + "/data.db3");
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(
                query.exec("CREATE TABLE key_data (remote_key_id TEXT PRIMARY KEY, key_alias TEXT, fpr TEXT "
                           "UNIQUE, public BLOB, private BLOB)"));
            QVERIFY(
                query.exec("CREATE TABLE file_events (datetime TEXT, remote_key_id TEXT, file_id INTEGER, "
                           "status INTEGER, size INTEGER)"));
            QVERIFY(query.exec("INSERT INTO key_data VALUES ('7', 'Ann', 'AB12', x'99', NULL)"));
            QVERIFY(query.exec("INSERT INTO file_events VALUES ('2026-01-02T03:04:05', '7', 5, 0, 99)"));
        }
        QSqlDatabase::removeDatabase("earlier");
        QVERIFY(m_home->openDatabase());
        QVERIFY(m_home->openDatabase()); // once more: nothing is added twice
        QSqlQuery key("SELECT fpr, verified FROM key_data WHERE remote_key_id = '7'");
        QVERIFY(key.next());
        QCOMPARE(key.value(0).toString() + ' ' + key.value(1).toString(), QStringLiteral("AB12 0"));
        QSqlQuery event("SELECT signer FROM file_events");
        QVERIFY(event.next() && event.value(0).isNull());
    }
};

QTEST_GUILESS_MAIN(TestBaseSqlModel)
#include "TestBaseSqlModel.moc"

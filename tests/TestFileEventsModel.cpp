#include "models/FileEventsModel.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <httplib.h>

class TestFileEventsModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedServer> m_server;
    int m_status = 200;
    std::string m_reply;

    static void insertRow(const QString& datetime, int fileId, int status)
    {
        QSqlQuery q;
        q.prepare(QStringLiteral("INSERT INTO file_events VALUES (?, '5', ?, ?, 10)"));
        q.addBindValue(datetime);
        q.addBindValue(fileId);
        q.addBindValue(status);
        QVERIFY(q.exec());
    }

    static QMap<int, QList<int>> statusById()
    {
        QMap<int, QList<int>> result;
        QSqlQuery q(QStringLiteral("SELECT file_id, status FROM file_events ORDER BY rowid"));
        while (q.next())
            result[q.value(0).toInt()].append(q.value(1).toInt());
        return result;
    }

    int deliveredRequests() const
    {
        int n = 0;
        for (const auto& r : m_server->requests())
            n += r.path == QLatin1String("/api/check-delivered");
        return n;
    }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->openDatabase());
        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->isRunning());
        m_server->makeCurrent();
        // One handler for every data row; the row sets what it answers.
        m_server->handle(QStringLiteral("POST"), QStringLiteral("/api/check-delivered"),
                         [this](const httplib::Request&, httplib::Response& res) {
                             res.status = m_status;
                             res.set_content(m_reply, "application/json");
                         });
    }

    void init()
    {
        QSqlQuery clear;
        QVERIFY2(clear.exec(QStringLiteral("DELETE FROM file_events")), qPrintable(clear.lastError().text()));
        m_server->clearRequests();
    }

    void addEventNewestFirst()
    {
        FileEventsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.roleNames().value(259), QByteArray("file_id"));
        insertRow(QStringLiteral("2019-03-11T14:05:09"), 1, FileEventsModel::Delivered);
        model.addEvent(QStringLiteral("4711"), 8, Q_INT64_C(5000000000), FileEventsModel::WaitDeliver);
        QCOMPARE(model.rowCount(), 2);
        const QModelIndex top = model.index(0, 0);
        QCOMPARE(model.data(top, 258).toString(), QStringLiteral("4711"));
        QCOMPARE(model.data(top, 259).toInt(), 8);
        QCOMPARE(model.data(top, 260).toInt(), int(FileEventsModel::WaitDeliver));
        QCOMPARE(model.data(top, 261).toLongLong(), Q_INT64_C(5000000000));
        const QDateTime stamp = QDateTime::fromString(model.data(top, 257).toString(), Qt::ISODate);
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 5);
        QCOMPARE(model.data(model.index(1, 0), 259).toInt(), 1);
    }

    void nothingWaitingSendsNothing()
    {
        insertRow(QStringLiteral("2020-01-01T00:00:00"), 3, FileEventsModel::Delivered);
        insertRow(QStringLiteral("2020-01-01T00:00:01"), 4, FileEventsModel::Received);
        FileEventsModel model;
        model.checkDelivered();
        QCOMPARE(deliveredRequests(), 0);
    }

    void checkDelivered_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("httpStatus");
        QTest::addColumn<QList<int>>("seven"); // statuses of the two rows with file id 7
        QTest::addColumn<int>("eight");
        const int W = FileEventsModel::WaitDeliver, D = FileEventsModel::Delivered,
                  R = FileEventsModel::Rejected;
        QTest::addRow("rejected") << QByteArray(R"([{"fileId": 7, "rejected": true}])") << 200
                                  << QList<int> {R, R} << W;
        QTest::addRow("delivered") << QByteArray(R"([{"fileId": 7, "rejected": false}])") << 200
                                   << QList<int> {D, D} << W;
        QTest::addRow("no rejected member")
            << QByteArray(R"([{"fileId": 8}])") << 200 << QList<int> {W, W} << D;
        QTest::addRow("first of duplicates wins")
            << QByteArray(R"([{"fileId": 7}, {"fileId": 7, "rejected": true}])") << 200 << QList<int> {D, D}
            << W;
        QTest::addRow("id as text counts as 0")
            << QByteArray(R"([{"fileId": "7"}])") << 200 << QList<int> {W, W} << W;
        QTest::addRow("object") << QByteArray(R"({"fileId": 7})") << 200 << QList<int> {W, W} << W;
        QTest::addRow("server error") << QByteArray(R"([{"fileId": 7}])") << 500 << QList<int> {W, W} << W;
    }

    void checkDelivered()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, httpStatus);
        QFETCH(QList<int>, seven);
        QFETCH(int, eight);
        insertRow(QStringLiteral("2020-01-01T00:00:00"), 7, FileEventsModel::WaitDeliver);
        insertRow(QStringLiteral("2020-01-01T00:00:01"), 7, FileEventsModel::WaitDeliver);
        insertRow(QStringLiteral("2020-01-01T00:00:02"), 8, FileEventsModel::WaitDeliver);
        insertRow(QStringLiteral("2020-01-01T00:00:03"), 9, FileEventsModel::Delivered);
        m_status = httpStatus;
        m_reply = reply.toStdString();

        FileEventsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.checkDelivered();
        QCOMPARE(deliveredRequests(), 1);
        QCOMPARE(m_server->lastRequest().body.mid(17), QByteArray("[7,7,8]"));
        QVERIFY(resets.count() >= 1);
        const auto states = statusById();
        QCOMPARE(states.value(7), seven);
        QCOMPARE(states.value(8), QList<int> {eight});
        QCOMPARE(states.value(9), QList<int> {FileEventsModel::Delivered});
        // The model shows what the table now holds.
        QCOMPARE(model.data(model.index(1, 0), 259).toInt(), 8);
        QCOMPARE(model.data(model.index(1, 0), 260).toInt(), eight);
    }
};

QTEST_GUILESS_MAIN(TestFileEventsModel)
#include "TestFileEventsModel.moc"

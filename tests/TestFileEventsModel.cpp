#include "models/FileEventsModel.h"
#include "models/UnfinishedUploadsModel.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
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

    // Rows with file ids and statuses, one second apart from 2020-01-01T00:00:00 on.
    static void insertRows(const QList<QPair<int, int>>& rows)
    {
        QDateTime t(QDate(2020, 1, 1), QTime(0, 0));
        for (const auto& row : rows) {
            QSqlQuery q;
            q.prepare(QStringLiteral("INSERT INTO file_events (datetime, remote_key_id, file_id, status, "
                                     "size) VALUES (?, '5', ?, ?, 10)"));
            q.addBindValue(t.toString(Qt::ISODate));
            q.addBindValue(row.first);
            q.addBindValue(row.second);
            QVERIFY(q.exec());
            t = t.addSecs(1);
        }
    }

    static QMap<int, QList<int>> statusById()
    {
        QMap<int, QList<int>> result;
        QSqlQuery q(QStringLiteral("SELECT file_id, status FROM file_events ORDER BY rowid"));
        while (q.next())
            result[q.value(0).toInt()].append(q.value(1).toInt());
        return result;
    }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(m_home->openDatabase());
        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->isRunning());
        m_server->makeCurrent();
        m_server->handle("POST", "/api/check-delivered",
                         [this](const httplib::Request&, httplib::Response& res) {
                             res.status = m_status;
                             res.set_content(m_reply, "application/json");
                         });
    }

    void init()
    {
        QVERIFY(QSqlQuery().exec(QStringLiteral("DELETE FROM file_events")));
        m_server->clearRequests();
    }

    void addEventNewestFirst()
    {
        FileEventsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        insertRows({{1, FileEventsModel::Delivered}});
        model.addEvent(QStringLiteral("4711"), 8, Q_INT64_C(5000000000), FileEventsModel::WaitDeliver);
        QCOMPARE(model.rowCount(), 2);
        const QModelIndex top = model.index(0, 0);
        QCOMPARE(model.data(top, 258).toString(), QStringLiteral("4711"));
        QCOMPARE(model.data(top, 259).toInt(), 8);
        QCOMPARE(model.data(top, 260).toInt(), int(FileEventsModel::WaitDeliver));
        QCOMPARE(model.data(top, 261).toLongLong(), Q_INT64_C(5000000000));
        QCOMPARE(model.data(model.index(1, 0), 259).toInt(), 1);
    }

    void nothingWaitingSendsNothing()
    {
        insertRows({{3, FileEventsModel::Delivered}, {4, FileEventsModel::Received}});
        FileEventsModel model;
        QSignalSpy checked(&model, &FileEventsModel::deliveryChecked);
        model.checkDelivered();
        QVERIFY(checked.wait(5000));
        QVERIFY(m_server->requests().isEmpty());
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
        QTest::addRow("object") << QByteArray(R"({"fileId": 7})") << 200 << QList<int> {W, W} << W;
        QTest::addRow("server error") << QByteArray(R"([{"fileId": 7}])") << 500 << QList<int> {W, W} << W;
    }

    void checkDelivered()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, httpStatus);
        QFETCH(QList<int>, seven);
        QFETCH(int, eight);
        const int W = FileEventsModel::WaitDeliver;
        insertRows({{7, W}, {7, W}, {8, W}, {9, FileEventsModel::Delivered}});
        m_status = httpStatus;
        m_reply = reply.toStdString();
        FileEventsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy checked(&model, &FileEventsModel::deliveryChecked);
        model.checkDelivered();
        model.checkDelivered(); // a second tick while the first waits asks nothing more
        QVERIFY(checked.wait(30000));
        QCOMPARE(m_server->requests().size(), 1);
        QCOMPARE(m_server->lastRequest().body.mid(17), QByteArray("[7,7,8]"));
        const auto states = statusById();
        QCOMPARE(states.value(7), seven);
        QCOMPARE(states.value(8), QList<int> {eight});
        QCOMPARE(states.value(9), QList<int> {FileEventsModel::Delivered});
        // The model shows what the table now holds.
        QCOMPARE(model.data(model.index(1, 0), 260).toInt(), eight);
    }

    // The files of a send wait with its unfinished upload (which may outlive a restart) and become
    // the event's when the upload completes; an upload given up takes them along.
    void filesOfAnUpload_data()
    {
        QTest::addColumn<bool>("completes");
        QTest::addRow("completed") << true;
        QTest::addRow("given up") << false;
    }

    void filesOfAnUpload()
    {
        QFETCH(bool, completes);
        QVERIFY(QSqlQuery().exec(QStringLiteral("DELETE FROM event_files")));
        const FileEventsModel::Files files {{"Urlaub/a.jpg", 3}, {"b.txt", Q_INT64_C(5000000000)}};
        const qint64 upload = UnfinishedUploadsModel::add(QStringLiteral("5"), 100);
        QVERIFY(upload > 0);
        QVERIFY(FileEventsModel::storeUploadFiles(upload, files));
        FileEventsModel::store(QStringLiteral("5"), 6, 50, FileEventsModel::Received, QString(),
                               {{"other", 1}});
        if (completes)
            QVERIFY(UnfinishedUploadsModel::complete(upload, 7));
        else
            UnfinishedUploadsModel::remove(upload);
        FileEventsModel model;
        QMap<int, QVariantList> byFileId;
        for (int row = 0; row < model.rowCount(); ++row)
            byFileId.insert(model.data(model.index(row, 0), 259).toInt(), model.files(row));
        QCOMPARE(byFileId.keys(), completes ? (QList<int> {6, 7}) : QList<int> {6});
        QCOMPARE(byFileId.value(6), (QVariantList {QVariantMap {{"name", "other"}, {"size", 1.0}}}));
        QCOMPARE(byFileId.value(7),
                 completes ? (QVariantList {QVariantMap {{"name", "Urlaub/a.jpg"}, {"size", 3.0}},
                                            QVariantMap {{"name", "b.txt"}, {"size", 5e9}}})
                           : QVariantList());
        QSqlQuery all(QStringLiteral("SELECT COUNT(*) FROM event_files"));
        QVERIFY(all.next());
        QCOMPARE(all.value(0).toInt(), completes ? 3 : 1);
    }
};

QTEST_GUILESS_MAIN(TestFileEventsModel)
#include "TestFileEventsModel.moc"

// What a transfer that goes on from where it stopped does with each answer of a scripted relay: a
// range the relay does not honour, or a container that changed, is never put behind what is here;
// a busy relay is asked again after a pause, and given up after the tries, keeping what was done.
#include "containers/DownloadJob.h"
#include "containers/UploadJob.h"
#include "models/UnfinishedUploadsModel.h"
#include "net/RelayClient.h"
#include "util/JobRun.h"
#include "util/ScriptedServer.h"
#include "util/TestFiles.h"
#include "util/TestHome.h"

#include <QMutex>
#include <QtTest>

#include <httplib.h>

namespace {

const RelayClient::RetryPolicy twoQuickTries {{10, 20}, 2};
const char* etag = "\"e1\"";

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTransferRetries : public QObject
{
    Q_OBJECT

    TestHome m_home;
    ScriptedServer m_server;
    RelayClient m_relay;
    QByteArray m_container = TestFiles::randomBytes(3 * 1024 * 1024 + 5);
    QMutex m_mutex; // guards what the server's thread reads and writes
    QStringList m_answers; // what the relay does with each request in turn; then it serves
    QByteArray m_stored; // of the upload
    QStringList m_seen; // method and offset or range of each request

    // The next scripted answer, or empty to serve.
    QString next(const httplib::Request& req, const QByteArray& position)
    {
        QMutexLocker lock(&m_mutex);
        m_seen << QString::fromStdString(req.method) + ' ' + position;
        return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.openDatabase());
        QVERIFY(m_server.isRunning());
        m_server.makeCurrent();
        m_relay.setRetryPolicy(twoQuickTries);
        m_server.handle("GET", "/id42", [this](const httplib::Request& req, httplib::Response& res) {
            const QString answer = next(req, QByteArray::fromStdString(req.get_header_value("Range")));
            auto& ranges = const_cast<httplib::Request&>(req).ranges; // the library would cut every body
            res.set_header("ETag", etag);
            if (answer.isEmpty())
                return res.set_content(m_container.toStdString(), "application/octet-stream");
            ranges.clear();
            if (answer == "from the start")
                ranges = {{0, -1}};
            else if (answer != "whole")
                res.status = answer.toInt();
            res.set_content(res.status >= 400 ? std::string(R"({"error":"Refused here"})")
                                              : m_container.toStdString(),
                            "application/octet-stream");
        });
        m_server.handle("POST", "/uploads", [this](const httplib::Request& req, httplib::Response& res) {
            const QString answer = next(req, QByteArray());
            if (!answer.isEmpty())
                return void(res.status = answer.toInt());
            QMutexLocker lock(&m_mutex);
            m_stored.clear();
            res.status = 201;
            res.set_header("Location", "/uploads/new");
        });
        for (const char* path : {"/uploads/new", "/uploads/old"}) {
            m_server.handle("GET", path, [this](const httplib::Request& req, httplib::Response& res) {
                const QString answer = next(req, QByteArray());
                QMutexLocker lock(&m_mutex);
                res.status = answer.isEmpty() ? 200 : answer.toInt();
                res.set_header("Upload-Offset", std::to_string(m_stored.size()));
                res.set_header("Upload-Length", std::to_string(m_container.size()));
            });
            m_server.handle("PATCH", path, [this](const httplib::Request& req, httplib::Response& res) {
                const QString answer
                    = next(req, QByteArray::fromStdString(req.get_header_value("Upload-Offset")));
                QMutexLocker lock(&m_mutex);
                if (!answer.isEmpty()
                    || req.get_header_value("Upload-Offset") != std::to_string(m_stored.size())) {
                    res.status = answer.isEmpty() ? 409 : answer.toInt();
                    return res.set_content(R"({"error":"Refused here"})", "application/json");
                }
                m_stored += QByteArray::fromStdString(req.body);
                res.set_header("Upload-Offset", std::to_string(m_stored.size()));
                res.status = m_stored.size() == m_container.size() ? 200 : 204;
                if (res.status == 200)
                    res.set_header("Upload-File-Id", "77");
            });
        }
    }

    void init()
    {
        QMutexLocker lock(&m_mutex);
        m_seen.clear();
    }

    // Half of the container is here already, with its validator.
    void download_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<bool>("kept"); // what is here afterwards
        const QString rest = QStringLiteral("GET bytes=%1-").arg(m_container.size() / 2);
        QTest::addRow("range ignored")
            << QStringList {"whole"} << "succeeded" << QStringList {rest, "GET "} << true;
        QTest::addRow("another part")
            << QStringList {"from the start"} << "succeeded" << QStringList {rest, "GET "} << true;
        QTest::addRow("gone") << QStringList {"404"} << "failed: Refused here" << QStringList {rest} << false;
        QTest::addRow("busy for good") << QStringList {"503", "503", "503"}
                                       << "failed: The connection to the server was lost (Refused here). "
                                          "What was received is kept for the next "
                                          "try."
                                       << QStringList {rest, rest, rest} << true;
    }

    void download()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, end);
        QFETCH(QStringList, seen);
        QFETCH(bool, kept);
        const QString partial = DownloadJob::folder() + "/42";
        QVERIFY(TestFiles::write(partial, m_container.left(m_container.size() / 2)));
        QVERIFY(TestFiles::write(partial + ".etag", etag));
        m_answers = answers;
        DownloadJob job(&m_relay, "42", m_container.size());
        const JobRun run = JobRun::of(job, &DownloadJob::succeeded);
        QCOMPARE(run.end, end);
        QCOMPARE(m_seen, seen);
        if (end == "succeeded")
            QCOMPARE(readAll(partial), m_container);
        else if (kept)
            QCOMPARE(readAll(partial), m_container.left(m_container.size() / 2));
        QCOMPARE(QFile::exists(partial), kept);
    }

    // The pause after a broken try is announced with its length; a cancel ends it, no try
    // follows, and what is here stays.
    void cancelDuringPause()
    {
        const QString partial = DownloadJob::folder() + "/42";
        QVERIFY(TestFiles::write(partial, m_container.left(1000)));
        QVERIFY(TestFiles::write(partial + ".etag", etag));
        m_answers = QStringList {"503"};
        m_relay.setRetryPolicy({{1500}, 1});
        DownloadJob job(&m_relay, "42", m_container.size());
        connect(&job, &Job::warning, &job, &Job::cancel);
        const JobRun run = JobRun::of(job, &DownloadJob::succeeded);
        QTest::qWait(3000); // longer than the pause: a try that was not called off would come now
        m_relay.setRetryPolicy(twoQuickTries);
        QCOMPARE(run.end, QStringLiteral("cancelled"));
        QCOMPARE(run.warnings, QStringList {"Connection lost, retrying in 2 s"});
        QCOMPARE(m_seen.size(), 1);
        QCOMPARE(readAll(partial), m_container.left(1000));
    }

    // An upload the relay has made and holds a third of.
    void upload_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("seen");
        const QString third = QString::number(m_container.size() / 3);
        QTest::addRow("answer lost, offset moved")
            << QStringList {"", "409"} << "succeeded"
            << QStringList {"HEAD ", "PATCH " + third, "HEAD ", "PATCH " + third};
        // As the relay answers for an upload of another installation, or one that expired.
        QTest::addRow("unknown to the relay")
            << QStringList {"404"} << "succeeded" << QStringList {"HEAD ", "POST ", "PATCH 0"};
        QTest::addRow("refused") << QStringList {"", "403"} << "failed: Refused here"
                                 << QStringList {"HEAD ", "PATCH " + third};
        QTest::addRow("busy for good")
            << QStringList {"", "503", "", "503", "", "503"}
            << "failed: The connection to the server was lost (Refused here). What was sent is kept; the "
               "upload can "
               "be resumed later."
            << QStringList {"HEAD ", "PATCH " + third, "HEAD ", "PATCH " + third, "HEAD ", "PATCH " + third};
    }

    void upload()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, end);
        QFETCH(QStringList, seen);
        const qint64 id = UnfinishedUploadsModel::add("5", m_container.size());
        QVERIFY(TestFiles::write(UnfinishedUploadsModel::containerPath(id), m_container));
        QVERIFY(UnfinishedUploadsModel::setUrl(id, m_server.baseUrl() + "/uploads/old"));
        {
            QMutexLocker lock(&m_mutex);
            m_stored = m_container.left(m_container.size() / 3);
            m_answers = answers;
        }
        UploadJob job(&m_relay, id);
        const JobRun run = JobRun::of(job, &UploadJob::succeeded);
        QCOMPARE(run.end, end);
        QCOMPARE(m_seen, seen);
        QCOMPARE(UnfinishedUploadsModel::find(id).id != 0, end != "succeeded");
        if (end == "succeeded") {
            QCOMPARE(run.result.value(0).toString(), QStringLiteral("77"));
            QCOMPARE(m_stored, m_container);
        }
        UnfinishedUploadsModel::remove(id);
    }
};

QTEST_GUILESS_MAIN(TestTransferRetries)
#include "TestTransferRetries.moc"

// The relay protocol as the client speaks it: every endpoint's request bytes and reply handling, and
// what a hostile or broken relay can do to the client (huge, endless, dripping, silent replies,
// downloads of the wrong length), each of which must end in a clear failure in bounded time and
// memory.
#include "net/RelayClient.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QSettings>
#include <QThread>
#include <QUuid>
#include <QtTest>

#include <httplib.h>

#include <atomic>

namespace {

const QString fpr = QStringLiteral("00112233445566778899AABBCCDDEEFF00112233");

} // namespace

class TestRelayClient : public QObject
{
    Q_OBJECT

    TestHome m_home;
    ScriptedServer m_server;
    RelayClient m_relay;
    QMutex m_mutex; // guards what the server's thread reads
    int m_status = 200;
    QByteArray m_reply;
    QString m_mode; // how the hostile handlers behave
    int m_redirect = 0;
    std::atomic<qint64> m_served {0}; // what the hostile replies sent
    std::atomic<bool> m_stop {false};
    std::map<std::string, httplib::MultipartFormData> m_parts; // of the last upload

    void answer(int status, const QByteArray& reply, const QString& mode = QStringLiteral("plain"),
                int redirect = 0)
    {
        QMutexLocker lock(&m_mutex);
        m_status = status;
        m_reply = reply;
        m_mode = mode;
        m_redirect = redirect;
    }

    // Calls endpoint with fixed arguments; "ok: VALUE" or "error: TEXT".
    QString call(const QString& endpoint)
    {
        QString result;
        auto text = [](const auto& r, const QString& value) {
            return r.ok() ? "ok: " + value : "error: " + r.error;
        };
        if (endpoint == "upload-pubkey")
            m_relay.uploadPubKey("KEY", fpr, this, [&](const auto& r) { result = text(r, r.value); });
        else if (endpoint == "attach-key")
            m_relay.attachKey(" 12-3", "Bob", this, [&](const auto& r) { result = text(r, r.value); });
        else if (endpoint == "download-pubkey")
            m_relay.downloadPubKey(" 4-2 ", this, [&](const auto& r) {
                result = text(r, r.value.keyId + '|' + r.value.fpr + '|' + r.value.key);
            });
        else if (endpoint == "can-upload")
            m_relay.canUpload(5000000000, this, [&](const auto& r) { result = text(r, "yes"); });
        else if (endpoint == "check-new-files")
            m_relay.checkNewFiles(this, [&](const auto& r) {
                result = text(
                    r, QJsonDocument(QJsonArray::fromVariantList(r.value)).toJson(QJsonDocument::Compact));
            });
        else if (endpoint == "download-complete")
            m_relay.downloadComplete("42", true, this, [&](const auto& r) { result = text(r, "told"); });
        else if (endpoint == "check-delivered")
            m_relay.checkDelivered({7, 7, 8}, this, [&](const auto& r) {
                QStringList list;
                for (const auto& d : r.value)
                    list << QStringLiteral("%1:%2").arg(d.fileId).arg(d.rejected);
                result = text(r, list.join(' '));
            });
        else if (endpoint == "send-feedback")
            m_relay.sendFeedback(QString(), QString(), QString(), this,
                                 [&](const auto& r) { result = text(r, "sent"); });
        (void)QTest::qWaitFor([&] { return !result.isNull(); }, 60000);
        return result;
    }

    // Downloads file id 42 announced with size into a buffer; "ok: N bytes" or "error: TEXT".
    QString download(qint64 size, QBuffer* sink)
    {
        QString result;
        sink->open(QIODevice::WriteOnly);
        m_relay.download("42", 0, size, QByteArray(), sink, this, [&](const auto& r) {
            result = r.ok() ? QStringLiteral("ok: %1 bytes").arg(sink->size()) : "error: " + r.error;
        });
        (void)QTest::qWaitFor([&] { return !result.isNull(); }, 60000);
        return result;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isRunning());
        m_server.makeCurrent();
        QSettings().setValue(QStringLiteral("locale"), QStringLiteral("en_GB"));
        for (const char* path :
             {"/api/upload-pubkey", "/api/attach-key", "/api/download-pubkey", "/api/can-upload",
              "/api/download-complete", "/api/check-delivered", "/api/send-feedback"}) {
            m_server.handle("POST", path, [this](const httplib::Request&, httplib::Response& res) {
                QMutexLocker lock(&m_mutex);
                if (m_redirect)
                    return res.set_redirect((m_server.baseUrl() + "/api/moved-here").toStdString(),
                                            m_redirect);
                res.status = m_status;
                res.set_content(m_reply.toStdString(), "application/json");
            });
        }
        m_server.handle("POST", "/api/check-new-files",
                        [this](const httplib::Request&, httplib::Response& res) { serve(res); });
        m_server.handle("GET", "/id42",
                        [this](const httplib::Request&, httplib::Response& res) { serve(res); });
        m_server.handle("POST", "/upload-container",
                        [this](const httplib::Request& req, httplib::Response& res) {
                            QMutexLocker lock(&m_mutex);
                            m_parts = {req.files.begin(), req.files.end()};
                            res.status = m_status;
                            res.set_content(m_reply.toStdString(), "application/json");
                        });
        m_server.reply("POST", "/api/moved-here", 200, R"({"keyId":"posted"})");
        m_server.reply("GET", "/api/moved-here", 200, R"({"keyId":"got"})");
    }

    void cleanupTestCase() { m_stop = true; }

    void init() { m_server.clearRequests(); }

    // What the server sees, and what the client makes of what it answers.
    void endpoints_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("result");
        QTest::addRow("key registered")
            << "upload-pubkey" << 200 << QByteArray(R"({"keyId":"1234567"})") << "ok: 1234567";
        QTest::addRow("key: neither member")
            << "upload-pubkey" << 200 << QByteArray("{}") << "error: Unknown server response";
        QTest::addRow("key: empty key id")
            << "upload-pubkey" << 200 << QByteArray(R"({"keyId":""})") << "error: Invalid key id in response";
        QTest::addRow("key: numeric key id") << "upload-pubkey" << 200 << QByteArray(R"({"keyId":123})")
                                             << "error: Invalid key id in response";
        QTest::addRow("key: error wins")
            << "upload-pubkey" << 200 << QByteArray(R"({"keyId":"5","error":"Refused"})") << "error: Refused";
        QTest::addRow("key: no body")
            << "upload-pubkey" << 200 << QByteArray() << "error: Cannot get server response";
        QTest::addRow("key: HTTP 500 with JSON") << "upload-pubkey" << 500 << QByteArray(R"({"keyId":"1"})")
                                                 << "error: Cannot get server response";
        QTest::addRow("attach: key id as written")
            << "attach-key" << 200 << QByteArray(R"({"keyId":"0042"})") << "ok: 0042";
        QTest::addRow("attach: numeric key id")
            << "attach-key" << 200 << QByteArray(R"({"keyId":42})") << "error: Invalid server response";
        QTest::addRow("attach: refused")
            << "attach-key" << 200 << QByteArray(R"({"error":"No such key"})") << "error: No such key";
        QTest::addRow("public key")
            << "download-pubkey" << 200
            << QByteArray(
                   R"({"keyId":"42","fpr":"00112233445566778899aabbccddeeff00112233","keyData":"S0VZ"})")
            << "ok: 42|" + fpr + "|KEY";
        QTest::addRow("public key: empty data")
            << "download-pubkey" << 200 << QByteArray(R"({"keyId":"42","fpr":"AB","keyData":""})")
            << "error: Invalid key data in response";
        QTest::addRow("public key: nothing")
            << "download-pubkey" << 200 << QByteArray("{}") << "error: Invalid server response";
        QTest::addRow("may upload") << "can-upload" << 200 << QByteArray(R"({"success":true})") << "ok: yes";
        QTest::addRow("quota") << "can-upload" << 200
                               << QByteArray(R"({"success":false,"error":"Quota exceeded"})")
                               << "error: Quota exceeded";
        QTest::addRow("refused without text")
            << "can-upload" << 200 << QByteArray(R"({"success":false})") << "error: Invalid server response";
        QTest::addRow("waiting files")
            << "check-new-files" << 200 << QByteArray(R"([{"fileId":5,"fileSize":100}])")
            << R"(ok: [{"fileId":5,"fileSize":100}])";
        QTest::addRow("waiting files: object")
            << "check-new-files" << 200 << QByteArray(R"({"fileId":5})") << "error: Invalid server response";
        QTest::addRow("taken") << "download-complete" << 200 << QByteArray() << "ok: told";
        QTest::addRow("deliveries") << "check-delivered" << 200
                                    << QByteArray(R"([{"fileId":7,"rejected":true},{"fileId":8},3])")
                                    << "ok: 7:1 8:0 0:0";
        QTest::addRow("feedback") << "send-feedback" << 200 << QByteArray(R"({"success":true})")
                                  << "ok: sent";
        QTest::addRow("feedback: string true")
            << "send-feedback" << 200 << QByteArray(R"({"success":"true"})")
            << "error: Cannot get server response";
    }

    void endpoints()
    {
        QFETCH(QString, endpoint);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QString, result);
        answer(status, reply);
        QCOMPARE(call(endpoint), result);

        const QMap<QString, QByteArray> sent {
            {"upload-pubkey",
             QCryptographicHash::hash("KEY", QCryptographicHash::Md5) + QByteArray::fromHex(fpr.toLatin1())
                 + "KEY"},
            {"attach-key",
             QByteArray("\x03"
                        "123Bob")},
            {"download-pubkey", "42"},
            {"can-upload", R"({"size":5000000000})"},
            {"check-new-files", "CHECK"},
            {"download-complete",
             QByteArray("\x01"
                        "42")},
            {"check-delivered", "[7,7,8]"},
            {"send-feedback", R"({"email":"","message":"","name":""})"},
        };
        const ScriptedServer::Request request = m_server.lastRequest();
        QCOMPARE(request.method, QStringLiteral("POST"));
        QCOMPARE(request.path, "/api/" + endpoint);
        QCOMPARE(request.body.left(17),
                 QByteArray(1, '\x03') + QSettings().value("uid").toUuid().toRfc4122());
        QCOMPARE(request.body.mid(17), sent.value(endpoint));
        QCOMPARE(request.headers.value("content-type"), QStringLiteral("application/octet-stream"));
        QCOMPARE(request.headers.value("user-agent"), QStringLiteral("Tessary/" TESSARY_VERSION));
        QCOMPARE(request.headers.value("accept-language"), QStringLiteral("en_GB"));
    }

    // A key id without digits leaves nothing to send: a GET without the client prefix.
    void emptyBodyIsPlainGet()
    {
        m_server.reply("GET", "/api/download-pubkey", 200, R"({"error":"No key id"})");
        QString result;
        m_relay.downloadPubKey("-", this, [&](const auto& r) { result = r.error; });
        QTRY_COMPARE_WITH_TIMEOUT(result, QStringLiteral("No key id"), 30000);
        QCOMPARE(m_server.lastRequest().method, QStringLiteral("GET"));
        QVERIFY(!m_server.lastRequest().headers.contains("content-type"));
    }

    // A request that is sent again goes out whole: 307 repeats the POST with all of its body.
    void redirects_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("keyId");
        QTest::addRow("307") << 307 << "POST"
                             << "posted";
        QTest::addRow("302") << 302 << "GET"
                             << "got";
    }

    void redirects()
    {
        QFETCH(int, code);
        QFETCH(QString, method);
        QFETCH(QString, keyId);
        answer(200, QByteArray(), QStringLiteral("plain"), code);
        QString result;
        m_relay.attachKey("7", "Bob", this, [&](const auto& r) { result = r.ok() ? r.value : r.error; });
        QTRY_COMPARE_WITH_TIMEOUT(result, keyId, 30000);
        answer(200, QByteArray());
        const ScriptedServer::Request final = m_server.lastRequest();
        QCOMPARE(final.path, QStringLiteral("/api/moved-here"));
        QCOMPARE(final.method, method);
        QCOMPARE(final.body.mid(17),
                 method == "POST" ? QByteArray("\x01"
                                               "7Bob")
                                  : QByteArray());
    }

    void upload_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("result");
        QTest::addRow("file id") << 200 << QByteArray(R"({"fileId":17})") << "17";
        QTest::addRow("file id as text")
            << 200 << QByteArray(R"({"fileId":"17"})") << "Invalid file id in response";
        QTest::addRow("file id 0") << 200 << QByteArray(R"({"fileId":0})") << "Invalid file id in response";
        QTest::addRow("error") << 200 << QByteArray(R"({"error":"Too big"})") << "Too big";
        QTest::addRow("neither") << 200 << QByteArray("{}") << "Invalid server response";
        QTest::addRow("HTTP 500") << 500 << QByteArray() << "Network error occured: InternalServerError";
    }

    void upload()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QString, result);
        answer(status, reply);
        QBuffer container;
        container.setData(QByteArray(300000, 'c') + "end");
        container.open(QIODevice::ReadOnly);
        QString outcome;
        m_relay.uploadContainer(&container, this,
                                [&](const auto& r) { outcome = r.ok() ? r.value : r.error; });
        QTRY_COMPARE_WITH_TIMEOUT(outcome, result, 30000);
        QMutexLocker lock(&m_mutex);
        auto& parts = m_parts;
        QCOMPARE(parts.size(), size_t(2));
        QCOMPARE(QString::fromStdString(parts["container"].filename + "|" + parts["container"].content_type),
                 QStringLiteral("container|application/octet-stream"));
        QCOMPARE(QByteArray::fromStdString(parts["container"].content), container.data());
        QCOMPARE(parts["uid"].content, QSettings().value("uid").toUuid().toString().toStdString());
        QCOMPARE(m_server.lastRequest().headers.value("user-agent"),
                 QStringLiteral("Tessary/" TESSARY_VERSION));
    }

    // What the relay may do wrong; every case ends with its message, soon, and keeps no more than it
    // may. (The client's memory under such a relay is measured by TestCliProcess, in a process of
    // its own.)
    // (Replies larger than allowed: TestCliProcess, with the memory they leave.)
    void hostile_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("isDownload");
        QTest::addColumn<QString>("result");
        QTest::addRow("dripping JSON reply") << "drip" << false << "error: Cannot get server response";
        QTest::addRow("silent server") << "silent" << false << "error: Cannot get server response";
        QTest::addRow("download shorter than announced")
            << "short" << true << "error: The server sent only 500000 of the announced 1000000 bytes";
        QTest::addRow("dripping download") << "drip" << true << "error: The server stopped responding";
        QTest::addRow("silent download") << "silent" << true << "error: The server stopped responding";
        QTest::addRow("download of the announced size") << "exact" << true << "ok: 1000000 bytes";
    }

    void hostile()
    {
        QFETCH(QString, mode);
        QFETCH(bool, isDownload);
        QFETCH(QString, result);
        answer(200, QByteArray(), mode);
        m_served = 0;
        m_relay.setTimeout(1000);
        QElapsedTimer clock;
        clock.start();
        QBuffer sink;
        QCOMPARE(isDownload ? download(1000000, &sink) : call(QStringLiteral("check-new-files")), result);
        m_relay.setTimeout(RelayClient::defaultTimeoutMs);
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(sink.size() <= 1000000);
    }

private:
    // The replies of the hostile rows, streamed so that the server holds none of it in memory.
    void serve(httplib::Response& res)
    {
        QString mode;
        {
            QMutexLocker lock(&m_mutex);
            mode = m_mode;
        }
        if (mode == "plain") {
            QMutexLocker lock(&m_mutex);
            res.status = m_status;
            res.set_content(m_reply.toStdString(), "application/json");
            return;
        }
        if (mode == "silent") {
            for (int i = 0; i < 50 && !m_stop; ++i)
                QThread::msleep(100);
            return;
        }
        const qint64 length = mode == "short" ? 500000 : mode == "exact" ? 1000000 : -1;
        // A dripping reply has no length; the others say how long they are.
        ScriptedServer::stream(res, length, length > 0, mode == "drip" ? 300 : 0, &m_served);
    }
};

QTEST_GUILESS_MAIN(TestRelayClient)
#include "TestRelayClient.moc"

#include "net/NetworkManager.h"
#include "net/ServerConfig.h"
#include "util/ScriptedServer.h"
#include "util/TestHome.h"

#include <QSettings>
#include <QThread>
#include <QUuid>
#include <QtTest>

#include <httplib.h>

class TestNetworkManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ScriptedServer> m_server;
    QUuid m_uid;

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        m_server = std::make_unique<ScriptedServer>();
        QVERIFY(m_server->isRunning());
        m_server->makeCurrent();
        m_uid = QUuid::createUuid();
        QSettings settings;
        settings.setValue(QStringLiteral("uid"), m_uid);
        settings.setValue(QStringLiteral("locale"), QStringLiteral("en_GB"));

        m_server->reply(QStringLiteral("POST"), QStringLiteral("/api/echo"), 200, "{\"ok\":true}");
        m_server->reply(QStringLiteral("GET"), QStringLiteral("/api/echo"), 200, "{\"get\":true}");
        m_server->reply(QStringLiteral("POST"), QStringLiteral("/api/not-found"), 404, "{\"error\":\"x\"}");
        m_server->reply(QStringLiteral("POST"), QStringLiteral("/api/broken"), 500, "{\"error\":\"x\"}");
        const QString target = m_server->baseUrl() + QStringLiteral("/api/moved-here");
        m_server->handle(QStringLiteral("GET"), QStringLiteral("/api/moved"),
                         [target](const httplib::Request&, httplib::Response& res) {
                             res.set_redirect(target.toStdString(), 302);
                         });
        m_server->reply(QStringLiteral("GET"), QStringLiteral("/api/moved-here"), 200, "{\"moved\":true}");
        m_server->handle(QStringLiteral("POST"), QStringLiteral("/api/silent"),
                         [](const httplib::Request&, httplib::Response& res) {
                             QThread::msleep(1500);
                             res.set_content("late", "text/plain");
                         });
        // Ten bytes, one every 150 ms: the whole reply takes far longer than the 500 ms time-out,
        // but no gap between two pieces does.
        m_server->handle(QStringLiteral("POST"), QStringLiteral("/api/trickle"),
                         [](const httplib::Request&, httplib::Response& res) {
                             // Not a text type: the server would otherwise compress, and so hold back, the
                             // pieces.
                             res.set_chunked_content_provider(
                                 "application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
                                     if (offset >= 10) {
                                         sink.done();
                                         return true;
                                     }
                                     if (offset > 0)
                                         QThread::msleep(150);
                                     const char byte = static_cast<char>('0' + offset);
                                     return sink.write(&byte, 1);
                                 });
                         });
    }

    void cleanupTestCase()
    {
        m_server.reset();
        m_home.reset();
    }

    void postCarriesPrefixAndHeaders_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addRow("one byte") << QByteArray("x");
        QTest::addRow("json") << QByteArray("{\"size\":3}");
        QTest::addRow("binary with zero bytes") << QByteArray("\x00\x01\x00", 3);
    }
    void postCarriesPrefixAndHeaders()
    {
        QFETCH(QByteArray, body);
        NetworkManager network;
        QCOMPARE(network.request(QStringLiteral("/echo"), body, 5000), QByteArray("{\"ok\":true}"));
        const ScriptedServer::Request seen = m_server->lastRequest();
        QCOMPARE(seen.method, QStringLiteral("POST"));
        QCOMPARE(seen.path, QStringLiteral("/api/echo"));
        QCOMPARE(seen.body.size(), 17 + body.size());
        QCOMPARE(seen.body.at(0), '\x03');
        QCOMPARE(seen.body.mid(1, 16), m_uid.toRfc4122());
        QCOMPARE(seen.body.mid(17), body);
        QCOMPARE(seen.headers.value(QStringLiteral("content-type")),
                 QStringLiteral("application/octet-stream"));
        QCOMPARE(seen.headers.value(QStringLiteral("user-agent")), QStringLiteral("Tessary/2.0.1"));
        QCOMPARE(seen.headers.value(QStringLiteral("accept-language")), QStringLiteral("en_GB"));
    }

    void emptyBodyIsPlainGet()
    {
        NetworkManager network;
        QCOMPARE(network.request(QStringLiteral("/echo"), QByteArray(), 5000), QByteArray("{\"get\":true}"));
        const ScriptedServer::Request seen = m_server->lastRequest();
        QCOMPARE(seen.method, QStringLiteral("GET"));
        QVERIFY(seen.body.isEmpty());
        QVERIFY(!seen.headers.contains(QStringLiteral("content-type")));
    }

    void noLocaleNoAcceptLanguage()
    {
        QSettings settings;
        settings.remove(QStringLiteral("locale"));
        NetworkManager network;
        QVERIFY(!network.request(QStringLiteral("/echo"), "x", 5000).isEmpty());
        settings.setValue(QStringLiteral("locale"), QStringLiteral("en_GB"));
        // The network layer adds a language list of its own when the request names none; what matters
        // is that the client did not invent a stored locale.
        QVERIFY(!m_server->lastRequest()
                     .headers.value(QStringLiteral("accept-language"))
                     .contains(QLatin1Char('_')));
    }

    void failuresGiveEmpty_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("timeoutMs");
        QTest::addRow("404 with JSON body") << QStringLiteral("/not-found") << 5000;
        QTest::addRow("500 with JSON body") << QStringLiteral("/broken") << 5000;
        QTest::addRow("silent past the time-out") << QStringLiteral("/silent") << 300;
    }
    void failuresGiveEmpty()
    {
        QFETCH(QString, path);
        QFETCH(int, timeoutMs);
        NetworkManager network;
        QVERIFY(network.request(path, "x", timeoutMs).isEmpty());
    }

    void redirectIsFollowed()
    {
        NetworkManager network;
        QCOMPARE(network.request(QStringLiteral("/moved"), QByteArray(), 5000),
                 QByteArray("{\"moved\":true}"));
    }

    void tricklingReplySucceeds()
    {
        NetworkManager network;
        QCOMPARE(network.request(QStringLiteral("/trickle"), "x", 500), QByteArray("0123456789"));
    }

    void untrustedOrDeadServerGivesEmpty()
    {
        // A server whose certificate chains to a CA that the client was not told about.
        ScriptedServer stranger;
        QVERIFY(stranger.isRunning());
        stranger.reply(QStringLiteral("POST"), QStringLiteral("/api/echo"), 200, "{\"ok\":true}");
        qputenv("TESSARY_SERVER_URL", stranger.baseUrl().toUtf8());
        QVERIFY(loadServerConfig());
        QVERIFY(NetworkManager().request(QStringLiteral("/echo"), "x", 5000).isEmpty());
        QVERIFY(stranger.requests().isEmpty());

        // Trusting that CA instead makes the same call work, which shows the CA file is what decides.
        stranger.makeCurrent();
        QCOMPARE(NetworkManager().request(QStringLiteral("/echo"), "x", 5000), QByteArray("{\"ok\":true}"));

        qputenv("TESSARY_SERVER_URL", "https://127.0.0.1:1");
        QVERIFY(loadServerConfig());
        QVERIFY(NetworkManager().request(QStringLiteral("/echo"), "x", 5000).isEmpty());
        m_server->makeCurrent();
    }

    void serverUrlFromEnvironment()
    {
        qputenv("TESSARY_SERVER_URL", "https://relay.example.net:8443/");
        QVERIFY(loadServerConfig());
        QCOMPARE(serverBaseUrl(), QStringLiteral("https://relay.example.net:8443"));
        qunsetenv("TESSARY_SERVER_URL");
        QVERIFY(loadServerConfig());
        QVERIFY(serverBaseUrl().startsWith(QStringLiteral("https://")));
        m_server->makeCurrent();
        QCOMPARE(serverBaseUrl(), m_server->baseUrl());
    }
};

QTEST_GUILESS_MAIN(TestNetworkManager)
#include "TestNetworkManager.moc"

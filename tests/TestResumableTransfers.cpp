// Transfers whose connection breaks on the way, between two users of tessary-cli, the real relay
// and real gpg: a proxy that cuts the connection several times, a relay killed and started again, a
// tessary-cli killed and run again. Each goes on from where it stood, never from the start, and
// what arrives is what was sent.
#include "cli/CliApp.h"
#include "net/RelayClient.h"
#include "util/CuttingProxy.h"
#include "util/RelayProcess.h"
#include "util/TestFiles.h"
#include "util/TestHome.h"

#include <QBuffer>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace TestFiles;

namespace {

// Short pauses between tries, so that the tests need not wait.
const RelayClient::RetryPolicy quickRetries {{20, 50, 100, 200}, 20};
// What a try costs beyond the container's bytes: TLS handshakes, headers, answers.
constexpr qint64 overheadPerConnection = 64 * 1024;

struct Result
{
    int code = -1;
    QString out;
    QString err;
};

// Runs one command as the user of home in this process.
Result cli(TestHome& home, const QStringList& args, const RelayClient::RetryPolicy& retries = quickRetries)
{
    home.makeCurrent();
    QBuffer in, out, err;
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    CliApp app;
    app.setStreams(&in, &out, &err);
    app.relay()->setRetryPolicy(retries);
    Result result;
    result.code = app.run(QStringList {"tessary-cli"} + args);
    result.out = QString::fromUtf8(out.data()).trimmed();
    result.err = QString::fromUtf8(err.data());
    return result;
}

quint16 portOf(const QString& baseUrl)
{
    return quint16(QUrl(baseUrl).port());
}

} // namespace

class TestResumableTransfers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work {QStringLiteral("/tmp/trt-XXXXXX")};
    RelayProcess m_relay;
    std::unique_ptr<CuttingProxy> m_proxy;
    TestHome m_alice, m_bob;
    QString m_aliceId, m_bobId;
    int m_files = 0;

    // A fresh file of size random bytes, in a folder of its own.
    QString makeFile(qint64 size)
    {
        const QString path = m_work.filePath(QStringLiteral("in%1/data.bin").arg(++m_files));
        write(path, randomBytes(int(size)));
        return path;
    }

    // The size the relay announces for the waiting container fileId.
    qint64 waitingSize(const QString& fileId)
    {
        for (const QString& line : cli(m_bob, {"inbox"}).out.split('\n')) {
            if (line.section('\t', 0, 0) == fileId)
                return line.section('\t', 1, 1).toLongLong();
        }
        return -1;
    }

    // Bob accepts fileId into a folder of its own; empty when that failed.
    QString accept(const QString& fileId)
    {
        const QString out = m_work.filePath(QStringLiteral("out%1").arg(++m_files));
        const Result accepted = cli(m_bob, {"accept", fileId, "--to", out});
        if (accepted.code != 0)
            qWarning("%s", qPrintable(accepted.err));
        return accepted.code == 0 ? out : QString();
    }

    // tessary-cli as a process of its own, for the user of home: it inherits the home and the
    // relay's address.
    static void startProcess(QProcess& process, TestHome& home, const QStringList& args)
    {
        home.makeCurrent();
        process.start(QStringLiteral(TESSARY_CLI_BIN), args);
    }

    void pointAtProxy()
    {
        qputenv("TESSARY_SERVER_URL", m_proxy->baseUrl().toUtf8());
        qputenv("TESSARY_CA_FILE", QFile::encodeName(m_relay.caFile()));
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_relay.start(&error), qPrintable(error));
        m_proxy = std::make_unique<CuttingProxy>(portOf(m_relay.baseUrl()));
        pointAtProxy();
        m_aliceId = cli(m_alice, {"id"}).out;
        m_bobId = cli(m_bob, {"id"}).out;
        QVERIFY(!m_aliceId.isEmpty() && !m_bobId.isEmpty());
        QCOMPARE(cli(m_alice, {"add", m_bobId, "Bob"}).code, 0);
        QCOMPARE(cli(m_bob, {"add", m_aliceId, "Alice"}).code, 0);
    }

    void init()
    {
        pointAtProxy();
        m_proxy->reset();
    }

    // The connection is cut four times on the way up or down, or the relay is killed halfway and
    // started again on its data: the transfer goes on by itself each time, and hardly a byte
    // crosses twice.
    void interrupted_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<bool>("killRelay");
        QTest::addRow("upload cut") << int(CuttingProxy::Up) << false;
        QTest::addRow("download cut") << int(CuttingProxy::Down) << false;
        QTest::addRow("relay killed during an upload") << int(CuttingProxy::Up) << true;
        QTest::addRow("relay killed during a download") << int(CuttingProxy::Down) << true;
    }

    void interrupted()
    {
        QFETCH(int, direction);
        QFETCH(bool, killRelay);
        const auto way = CuttingProxy::Direction(direction);
        // Large enough that what a cut loses in flight (up to a few MB on loopback, with the network
        // layer's own re-sends of the broken request) stays within the tenth.
        const qint64 size = 128 * 1024 * 1024 + 11;
        const QString source = makeFile(size);
        QList<qint64> cuts;
        for (double at : {0.15, 0.4, 0.6, 0.85})
            cuts << qint64(at * size);
        QTimer watch;
        watch.setInterval(5);
        bool restarted = false;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (m_proxy->bytes(way) < size / 2)
                return;
            watch.stop();
            m_relay.kill();
            restarted = m_relay.start();
            m_proxy->setServerPort(portOf(m_relay.baseUrl()));
        });
        const auto interrupt = [&] {
            if (killRelay)
                watch.start();
            else
                m_proxy->cutAt(way, cuts);
        };
        if (way == CuttingProxy::Up)
            interrupt();
        const Result sent = cli(m_alice, {"send", m_bobId, source});
        QVERIFY2(sent.code == 0, qPrintable(sent.err));
        const qint64 container = waitingSize(sent.out);
        QVERIFY(container > size);
        if (way == CuttingProxy::Down) {
            m_proxy->reset();
            interrupt();
        }
        const QString out = accept(sent.out);
        QVERIFY(!out.isEmpty());
        QCOMPARE(snapshot(out), snapshot(QFileInfo(source).path()));
        QCOMPARE(restarted, killRelay);
        QCOMPARE(m_proxy->cuts(), killRelay ? 0 : 4);
        const qint64 crossed = m_proxy->bytes(way);
        const QString figures = QStringLiteral("%1 bytes crossed for a container of %2 in %3 connections")
                                    .arg(crossed)
                                    .arg(container)
                                    .arg(m_proxy->connections());
        qInfo("%s", qPrintable(figures));
        QVERIFY2(crossed < 1.1 * container + m_proxy->connections() * overheadPerConnection,
                 qPrintable(figures));
    }

    // tessary-cli is killed in the middle of the transfer; run again, it goes on from where the
    // first run stopped.
    void clientKilled_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addRow("during an upload") << int(CuttingProxy::Up);
        QTest::addRow("during a download") << int(CuttingProxy::Down);
    }

    void clientKilled()
    {
        QFETCH(int, direction);
        const auto way = CuttingProxy::Direction(direction);
        const qint64 size = 48 * 1024 * 1024;
        const QString source = makeFile(size);
        QString fileId;
        QProcess first;
        if (way == CuttingProxy::Up) {
            startProcess(first, m_alice, {"send", m_bobId, source});
        } else {
            fileId = cli(m_alice, {"send", m_bobId, source}).out;
            m_proxy->reset();
            startProcess(first, m_bob, {"accept", fileId, "--to", m_work.filePath("never")});
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_proxy->bytes(way) > size / 2, 120000);
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(30000));
        m_proxy->reset();

        // Where the second run begins: what the relay holds of the upload, or what is here of
        // the download.
        QFileInfoList partial;
        qint64 container = 0;
        qint64 resumedFrom = 0;
        if (way == CuttingProxy::Up) {
            const QStringList unfinished = cli(m_alice, {"uploads"}).out.split('\t');
            QCOMPARE(unfinished.value(2), m_bobId);
            container = unfinished.value(3).toLongLong();
            partial = QDir(m_relay.dataDir() + "/containers/uploads").entryInfoList({"*.part"});
            resumedFrom = partial.value(0).size();
            const Result resumed = cli(m_alice, {"resume", unfinished.value(0)});
            QVERIFY2(resumed.code == 0, qPrintable(resumed.err));
            fileId = resumed.out;
            QCOMPARE(cli(m_alice, {"uploads"}).out, QString());
        } else {
            container = waitingSize(fileId);
            partial = QDir(m_bob.dataDir() + "/downloads").entryInfoList({fileId});
            resumedFrom = partial.value(0).size();
        }
        QCOMPARE(partial.size(), 1);
        const QString out = accept(fileId);
        QVERIFY(!out.isEmpty());
        QCOMPARE(snapshot(out), snapshot(QFileInfo(source).path()));
        const qint64 second = m_proxy->bytes(way);
        const QString figures = QStringLiteral("resumed from %1 of %2, then %3 bytes crossed")
                                    .arg(resumedFrom)
                                    .arg(container)
                                    .arg(second);
        qInfo("%s", qPrintable(figures));
        // The same tenth as for cut connections: a request the relay refuses while the killed
        // run's connection still holds the upload has part of its block in flight already.
        QVERIFY2(resumedFrom > 0
                     && second < container - resumedFrom + container / 10
                             + m_proxy->connections() * overheadPerConnection,
                 qPrintable(figures));
        QCOMPARE(QDir(m_bob.dataDir() + "/downloads").entryList(QDir::Files), QStringList());
    }

    // Bytes of a download from before the relay had another container under the same id: dropped,
    // never put in front of the new one.
    void staleDownloadIsNotSpliced()
    {
        const QString source = makeFile(6 * 1024 * 1024);
        const QString fileId = cli(m_alice, {"send", m_bobId, source}).out;
        const QString partial = m_bob.dataDir() + "/downloads/" + fileId;
        QVERIFY(write(partial, randomBytes(3 * 1024 * 1024)));
        QVERIFY(write(partial + ".etag", "\"00112233445566778899aabbccddeeff\""));
        const QString out = accept(fileId);
        QVERIFY(!out.isEmpty());
        QCOMPARE(snapshot(out), snapshot(QFileInfo(source).path()));
        // A container that is no longer waiting takes what was downloaded of it along.
        QVERIFY(write(m_bob.dataDir() + "/downloads/999999", "partial"));
        QCOMPARE(cli(m_bob, {"inbox"}).code, 0);
        QCOMPARE(QDir(m_bob.dataDir() + "/downloads").entryList(QDir::Files), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestResumableTransfers)
#include "TestResumableTransfers.moc"

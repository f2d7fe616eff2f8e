// Transfers that survive a broken connection, on the relay's side: downloads answer byte ranges
// under a validator that no other container shares, and uploads resume after tus 1.0 from what
// the relay has on disk, also after it was killed, until they expire.

#include "RelayClient.h"

#include <QDir>
#include <QtTest>

class TestRelayResume : public QObject
{
    Q_OBJECT
    using R = RelayClient;

    QVector<TestKey> m_keys;
    RelayProcess m_relay;
    RelayClient m_client {m_relay};
    const QUuid m_alice = QUuid::createUuid(), m_bob = QUuid::createUuid(), m_carol = QUuid::createUuid();

    // Starts relay and registers the keys of Alice, Bob and Carol on it.
    bool start(RelayProcess& relay)
    {
        QString error;
        if (!relay.start(&error))
            qWarning("%s", qPrintable(error));
        const RelayClient client(relay);
        const QUuid people[] = {m_alice, m_bob, m_carol};
        for (int i = 0; i < 3; ++i) {
            if (client.registerKey(people[i], m_keys[i]).isEmpty())
                return false;
        }
        return true;
    }
    QByteArray forBob(int payloadSize) const
    {
        return R::container(TestFiles::randomBytes(payloadSize), m_keys[1].fingerprint);
    }
    static QStringList partials(const RelayProcess& relay)
    {
        return QDir(relay.dataDir() + "/containers/uploads").entryList(QDir::Files);
    }
    // Sends bytes in PATCHes that end at the given offsets (the last at its end); the last reply.
    static R::Reply appendInParts(const RelayClient& client, const QUuid& who, const QByteArray& path,
                                  const QByteArray& bytes, QList<qint64> ends)
    {
        R::Reply reply;
        qint64 offset = 0;
        ends.append(bytes.size());
        for (qint64 end : ends) {
            reply = client.append(who, path, offset, bytes.mid(offset, end - offset));
            offset = end;
        }
        return reply;
    }

private slots:
    void initTestCase()
    {
        m_keys = makeTestKeys(3);
        QCOMPARE(m_keys.size(), 3);
        QVERIFY(start(m_relay));
    }

    void rangeIsAnswered_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("value"); // "ETAG" stands for the container's own validator
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("length"); // -1: to the end

        const int size = R::container(QByteArray(100000, 'x'), m_keys[1].fingerprint).size();
        QTest::addRow("plain") << QByteArray() << QByteArray() << 200 << 0 << -1;
        QTest::addRow("from an offset")
            << QByteArray("Range") << QByteArray("bytes=1000-") << 206 << 1000 << -1;
        QTest::addRow("closed") << QByteArray("Range") << QByteArray("bytes=10-19") << 206 << 10 << 10;
        QTest::addRow("closed beyond the end")
            << QByteArray("Range")
            << "bytes=" + QByteArray::number(size - 5) + "-" + QByteArray::number(size + 100) << 206
            << size - 5 << 5;
        QTest::addRow("last bytes") << QByteArray("Range") << QByteArray("bytes=-7") << 206 << size - 7 << 7;

        QTest::addRow("past the end")
            << QByteArray("Range") << "bytes=" + QByteArray::number(size) + "-" << 416 << 0 << 0;
        QTest::addRow("several ranges: all of it")
            << QByteArray("Range") << QByteArray("bytes=0-1,5-6") << 200 << 0 << -1;
        QTest::addRow("If-Range with its validator")
            << QByteArray("If-Range") << QByteArray("ETAG") << 206 << 500 << -1;
        QTest::addRow("If-Range with another: all of it")
            << QByteArray("If-Range") << QByteArray("\"0123\"") << 200 << 0 << -1;
        QTest::addRow("If-Match with its validator")
            << QByteArray("If-Match") << QByteArray("ETAG") << 206 << 500 << -1;
        QTest::addRow("If-Match with another")
            << QByteArray("If-Match") << QByteArray("\"0123\"") << 412 << 0 << 0;
    }

    void rangeIsAnswered()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, value);
        QFETCH(int, status);
        QFETCH(int, from);
        QFETCH(int, length);
        static const QByteArray container = forBob(100000);
        static const qint32 fileId = m_client.send(container, m_alice);
        QVERIFY(fileId > 0);
        const QByteArray etag = m_client.download(fileId).header("ETag");
        QVERIFY(etag.startsWith('"') && etag.size() > 10);

        R::Headers headers;
        if (header.startsWith("If-"))
            headers = {{header, value == "ETAG" ? etag : value}, {"Range", "bytes=500-"}};
        else if (!header.isEmpty())
            headers = {{header, value}};
        const R::Reply reply = m_client.download(fileId, headers);
        QCOMPARE(reply.status, status);
        if (status == 416)
            QCOMPARE(reply.header("Content-Range"), "bytes */" + QByteArray::number(container.size()));
        if (status >= 400) {
            QVERIFY2(!reply.error().isEmpty(), reply.body.constData());
            return;
        }
        QVERIFY(reply.body == container.mid(from, length));
        QCOMPARE(reply.header("ETag"), etag);
        QCOMPARE(reply.header("Accept-Ranges"), QByteArray("bytes"));
        if (status == 206)
            QCOMPARE(reply.header("Content-Range"),
                     QString("bytes %1-%2/%3")
                         .arg(from)
                         .arg(from + reply.body.size() - 1)
                         .arg(container.size())
                         .toLatin1());
    }

    void downloadResumedReassembles()
    {
        const QByteArray container = forBob(3 << 20);
        const qint32 fileId = m_client.send(container, m_alice);
        QVERIFY(fileId > 0);
        const QByteArray etag = m_client.download(fileId, {{"Range", "bytes=0-0"}}).header("ETag");
        QByteArray got;
        for (qint64 end : {qint64(1), qint64(65536), qint64(1 << 20) + 3, qint64(container.size())}) {
            const R::Reply piece = m_client.download(
                fileId,
                {{"Range", "bytes=" + QByteArray::number(got.size()) + "-" + QByteArray::number(end - 1)},
                 {"If-Match", etag}});
            QCOMPARE(piece.status, 206);
            got += piece.body;
        }
        QVERIFY(got == container);
    }

    // A validator names one container: never another one under the same id, never one collected.
    void staleValidatorIsRefused()
    {
        const qint32 first = m_client.send(forBob(1000), m_alice),
                     second = m_client.send(forBob(1000), m_alice);
        QVERIFY(first > 0 && second > 0);
        const QByteArray firstTag = m_client.download(first).header("ETag");
        QVERIFY(firstTag != m_client.download(second).header("ETag"));
        QCOMPARE(m_client.download(second, {{"Range", "bytes=10-"}, {"If-Match", firstTag}}).status, 412);
        QCOMPARE(m_client.download(second, {{"Range", "bytes=10-"}, {"If-Range", firstTag}}).status, 200);

        QVERIFY(m_client.complete(m_bob, first).success());
        const R::Reply collected = m_client.download(first, {{"Range", "bytes=10-"}, {"If-Match", firstTag}});
        QCOMPARE(collected.status, 404);
        QVERIFY(!collected.error().isEmpty());
    }

    void uploadResumes()
    {
        const QByteArray container = forBob(5 << 20);
        const R::Reply created = m_client.createUpload(m_alice, container.size());
        QCOMPARE(created.status, 201);
        QCOMPARE(created.header("Tus-Resumable"), QByteArray("1.0.0"));
        QVERIFY(!created.header("Upload-Expires").isEmpty());
        const QByteArray path = created.header("Location");
        QVERIFY2(QRegularExpression("^/uploads/[0-9a-f]{32}$").match(path).hasMatch(), path.constData());

        const R::Reply half = m_client.append(m_alice, path, 0, container.left(3 << 20));
        QCOMPARE(half.status, 204);
        QCOMPARE(half.header("Upload-Offset").toLongLong(), 3 << 20);
        const R::Reply status = m_client.uploadStatus(m_alice, path);
        QCOMPARE(status.status, 200);
        QCOMPARE(status.header("Upload-Offset").toLongLong(), 3 << 20);
        QCOMPARE(status.header("Upload-Length").toLongLong(), container.size());
        QCOMPARE(status.header("Cache-Control"), QByteArray("no-store"));
        const int waiting = m_client.newFiles(m_bob).size();

        const R::Reply done
            = appendInParts(m_client, m_alice, path, container, {3 << 20, (3 << 20) + 1, (4 << 20) + 17});
        QCOMPARE(done.status, 200);
        const qint32 fileId = done.object()["fileId"].toInt();
        QVERIFY2(fileId > 0, done.body.constData());
        QCOMPARE(done.header("Upload-File-Id").toInt(), fileId);
        QVERIFY(m_client.download(fileId).body == container);
        QVERIFY(!partials(m_relay).contains(path.mid(9) + ".part"));

        // The answer to the last PATCH may be lost: the upload still tells, and asked again, answers
        // again, without a second container.
        QCOMPARE(m_client.uploadStatus(m_alice, path).header("Upload-File-Id").toInt(), fileId);
        QCOMPARE(m_client.append(m_alice, path, container.size(), QByteArray()).object()["fileId"].toInt(),
                 fileId);
        QCOMPARE(m_client.newFiles(m_bob).size(), waiting + 1);
        QVERIFY(m_client.complete(m_bob, fileId).success());
    }

    void appendIsRefused_data()
    {
        QTest::addColumn<QByteArray>("drop"); // a header left out
        QTest::addColumn<R::Headers>("headers"); // and headers set instead
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("status");

        const auto row = &QTest::newRow;
        row("no Tus-Resumable") << QByteArray("Tus-Resumable") << R::Headers() << qint64(1000) << 10 << 412;
        row("other tus version") << QByteArray("Tus-Resumable") << R::Headers {{"Tus-Resumable", "0.2.2"}}
                                 << qint64(1000) << 10 << 412;
        row("other content type") << QByteArray("Content-Type")
                                  << R::Headers {{"Content-Type", "application/octet-stream"}} << qint64(1000)
                                  << 10 << 415;
        row("no offset") << QByteArray() << R::Headers() << qint64(-1) << 10 << 400;

        row("offset ahead") << QByteArray() << R::Headers() << qint64(1001) << 10 << 409;
        row("more than is left") << QByteArray() << R::Headers() << qint64(1000) << 1001 << 413;
    }

    // Each leaves the upload as it was, and it completes afterwards.
    void appendIsRefused()
    {
        QFETCH(QByteArray, drop);
        QFETCH(R::Headers, headers);
        QFETCH(qint64, offset);
        QFETCH(int, bytes);
        QFETCH(int, status);
        const QByteArray container = R::container(QByteArray(1000, 'x'), m_keys[1].fingerprint);
        const QByteArray path = m_client.createUpload(m_alice, container.size()).header("Location");
        QCOMPARE(m_client.append(m_alice, path, 0, container.left(1000)).status, 204);

        R::Headers sent;
        for (const auto& header : R::tus(m_alice) + headers) {
            if (header.first != drop)
                sent.append(header);
        }
        if (offset >= 0)
            sent.append(R::Header("Upload-Offset", QByteArray::number(offset)));
        const R::Reply refused = m_client.request("PATCH", path, sent, TestFiles::randomBytes(bytes));
        QCOMPARE(refused.status, status);
        QVERIFY2(!refused.error().isEmpty(), refused.body.constData());
        QCOMPARE(refused.header("Tus-Resumable"), QByteArray("1.0.0"));
        if (status == 412)
            QCOMPARE(refused.header("Tus-Version"), QByteArray("1.0.0"));

        QCOMPARE(m_client.uploadStatus(m_alice, path).header("Upload-Offset").toInt(), 1000);
        const qint32 fileId
            = m_client.append(m_alice, path, 1000, container.mid(1000)).object()["fileId"].toInt();
        QVERIFY(fileId > 0);
        QVERIFY(m_client.download(fileId).body == container);
        QVERIFY(m_client.complete(m_bob, fileId).success());
    }

    void othersUploadIsUnknown_data()
    {
        QTest::addColumn<QByteArray>("method");
        for (const char* method : {"HEAD", "PATCH", "DELETE"})
            QTest::addRow("%s", method) << QByteArray(method);
    }

    // Carol's requests on Alice's upload are answered as if it did not exist, and change nothing.
    void othersUploadIsUnknown()
    {
        QFETCH(QByteArray, method);
        const QByteArray container = forBob(1000);
        const QByteArray path = m_client.createUpload(m_alice, container.size()).header("Location");
        QCOMPARE(m_client.append(m_alice, path, 0, container.left(100)).status, 204);
        const QByteArray unknown = "/uploads/" + QByteArray(32, 'a');

        R::Headers anonymous = R::tus(m_alice);
        anonymous.removeAt(1);
        for (const R::Headers& headers : {R::tus(m_carol), anonymous}) {
            for (const QByteArray& target : {path, unknown}) {
                R::Headers withOffset = headers;
                withOffset.append(R::Header("Upload-Offset", "100"));
                const R::Reply reply = m_client.request(
                    method, target, withOffset, method == "PATCH" ? container.mid(100) : QByteArray());
                QCOMPARE(reply.status, 404);
                QCOMPARE(reply.headers.value("upload-offset"), QByteArray());
            }
        }
        QCOMPARE(m_client.uploadStatus(m_alice, path).header("Upload-Offset").toInt(), 100);
        QCOMPARE(m_client.dropUpload(m_alice, path).status, 204);
        QCOMPARE(m_client.uploadStatus(m_alice, path).status, 404);
    }

    void containerIsChecked_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("recipient"); // declared at creation, hex
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");

        const QByteArray bob = m_keys[1].fingerprint.toLatin1(), carol = m_keys[2].fingerprint.toLatin1();
        QTest::addRow("not an OpenPGP message") << QByteArray(100000, 'x') + QByteArray::fromHex(bob) + '\x01'
                                                << QByteArray() << 400 << "not an encrypted container";
        QTest::addRow("for another recipient than declared")
            << R::container(QByteArray(1000, 'c'), QString(carol)) << bob << 403 << "another recipient";
        QTest::addRow("with a password")
            << R::container(QByteArray(1000, 'p'), {}, 2) << QByteArray() << 403 << "password";
        QTest::addRow("for an unregistered key") << R::container(QByteArray(1000, 'u'), QString(40, 'A'))
                                                 << QByteArray() << 403 << "not registered";
    }

    // A container that can never be delivered is refused when its bytes say so, and its upload is gone.
    void containerIsChecked()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, recipient);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QByteArray path
            = m_client
                  .createUpload(m_alice, bytes.size(),
                                recipient.isEmpty() ? "" : "recipient " + recipient.toBase64())
                  .header("Location");
        QVERIFY(!path.isEmpty());
        const R::Reply refused = m_client.append(m_alice, path, 0, bytes);
        QCOMPARE(refused.status, status);
        QVERIFY2(refused.error().contains(message), refused.body.constData());
        QCOMPARE(m_client.uploadStatus(m_alice, path).status, 404);
        QVERIFY(!partials(m_relay).contains(path.mid(9) + ".part"));
    }

    void killedRelayResumesUpload()
    {
        RelayProcess relay;
        const RelayClient client(relay);
        QVERIFY(start(relay));
        const QByteArray container = forBob(16 << 20);
        const QByteArray path = client.createUpload(m_alice, container.size()).header("Location");
        QCOMPARE(client.append(m_alice, path, 0, container.left(2 << 20)).status, 204);

        qint64 sent = 0;
        const R::Reply cut
            = client.append(m_alice, path, 2 << 20, container.mid(2 << 20), [&](qint64 progress) {
                  sent = progress;
                  if (progress < (8 << 20))
                      return true;
                  relay.kill();
                  return false;
              });
        QCOMPARE(cut.status, 0);
        QString error;
        QVERIFY2(relay.start(&error), qPrintable(error));
        const qint64 offset = client.uploadStatus(m_alice, path).header("Upload-Offset").toLongLong();
        QVERIFY2(offset >= (2 << 20) && offset <= (2 << 20) + sent, qPrintable(QString::number(offset)));

        const R::Reply done = client.append(m_alice, path, offset, container.mid(offset));
        const qint32 fileId = done.object()["fileId"].toInt();
        QVERIFY2(fileId > 0, done.body.constData());
        QVERIFY(client.download(fileId).body == container);
    }

    // Partial uploads hold their declared length of the quota from their creation on.
    void quotaCountsUnfinishedUploads()
    {
        RelayProcess relay(QString(), {"--quota", "100K", "--open-uploads", "2"});
        const RelayClient client(relay);
        QVERIFY(start(relay));
        const QByteArray first = client.createUpload(m_alice, 60 << 10).header("Location");
        QVERIFY(!first.isEmpty());
        const R::Reply over = client.createUpload(m_alice, 50 << 10);
        QCOMPARE(over.status, 403);
        QVERIFY2(over.error().contains("the limit is 100 KiB"), over.body.constData());
        QVERIFY(client.upload(forBob(50 << 10), m_alice).error().contains("the limit is 100 KiB"));
        QVERIFY(client.call("can-upload", m_alice, R::canUploadBody(50 << 10)).isRefusal());

        QCOMPARE(client.createUpload(m_alice, 1 << 10).status, 201);
        const R::Reply third = client.createUpload(m_alice, 1 << 10);
        QCOMPARE(third.status, 403);
        QVERIFY2(third.error().contains("unfinished uploads"), third.body.constData());

        QCOMPARE(client.dropUpload(m_alice, first).status, 204);
        QVERIFY(client.send(forBob(50 << 10), m_alice) > 0);
    }

    void unfinishedUploadExpires()
    {
        RelayProcess relay(QString(), {"--upload-expiry", "2s"});
        const RelayClient client(relay);
        QVERIFY(start(relay));
        const QByteArray container = forBob(10000);
        const QByteArray path = client.createUpload(m_alice, container.size()).header("Location");
        QCOMPARE(client.append(m_alice, path, 0, container.left(5000)).status, 204);
        QCOMPARE(partials(relay).size(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(partials(relay).isEmpty(), 20000);
        QCOMPARE(client.uploadStatus(m_alice, path).status, 404);
        QCOMPARE(client.append(m_alice, path, 5000, container.mid(5000)).status, 404);
        QVERIFY(client.newFiles(m_bob).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRelayResume)
#include "TestRelayResume.moc"

#include "containers/ContainerTrailer.h"
#include "containers/EntryPath.h"
#include "containers/PayloadReader.h"
#include "containers/PayloadWriter.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

QByteArray be32(quint32 v)
{
    QByteArray b(4, 0);
    qToBigEndian(v, b.data());
    return b;
}

QByteArray be64(qint64 v)
{
    QByteArray b(8, 0);
    qToBigEndian(v, b.data());
    return b;
}

QByteArray start(int count, char version = 1)
{
    return QByteArray("TSYC") + version + be32(quint32(count));
}

QByteArray record(const QByteArray& name, qint64 size)
{
    return be32(quint32(name.size())) + name + be64(size);
}

QByteArray chunk(const QByteArray& data)
{
    return be32(quint32(data.size())) + data;
}

// Reads a whole payload the way extraction does: records first, then each run, all chunks kept.
struct Parsed
{
    PayloadReader::Status status = PayloadReader::Status::Ok;
    bool headerComplete = true;
    QList<PayloadRecord> records;
    QList<QByteArray> contents;
    bool ended = false;
};

Parsed parse(const QByteArray& payload)
{
    Parsed result;
    QBuffer buffer;
    buffer.setData(payload);
    buffer.open(QIODevice::ReadOnly);
    PayloadReader reader(&buffer);
    result.status = reader.readStart();
    if (result.status != PayloadReader::Status::Ok)
        return result;
    for (int i = 0; i < reader.entryCount(); ++i) {
        PayloadRecord r;
        if (!reader.readRecord(&r)) {
            result.headerComplete = false;
            return result;
        }
        result.records.append(r);
    }
    QByteArray piece;
    for (const PayloadRecord& r : qAsConst(result.records)) {
        reader.beginRun(r.size);
        QByteArray content;
        while (reader.nextChunk(&piece))
            content += piece;
        result.contents.append(content);
    }
    result.ended = reader.ended();
    return result;
}

} // namespace

class TestContainerFormat : public QObject
{
    Q_OBJECT

private slots:
    void writerMatchesTheDocumentedExample()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        PayloadWriter writer(&buffer);
        QVERIFY(writer.writeHeader({{QStringLiteral("a.txt"), 3}}));
        QVERIFY(writer.writeChunk("abc", 3));
        QCOMPARE(buffer.data().toHex(' '),
                 QByteArray("54 53 59 43 01 00 00 00 01 00 00 00 05 61 2e 74 78 74 "
                            "00 00 00 00 00 00 00 03 00 00 00 03 61 62 63"));
    }

    void writerRoundTrip()
    {
        const QString umlaut = QStringLiteral("Grüße/日本語 файл.txt");
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        PayloadWriter writer(&buffer);
        QVERIFY(
            writer.writeHeader({{QStringLiteral("empty"), 0}, {umlaut, 5}, {QStringLiteral("shrunk"), 100}}));
        QVERIFY(writer.writeChunk("hello", 5));
        QVERIFY(writer.writeChunk("xy", 2));
        // The third source delivered only two bytes: its header size must follow.
        QVERIFY(writer.patchSize(2, 2));
        QVERIFY(!writer.patchSize(3, 0));
        const Parsed p = parse(buffer.data());
        QCOMPARE(p.records.size(), 3);
        QCOMPARE(p.records.at(1).name, umlaut);
        QCOMPARE(p.records.at(2).size, qint64(2));
        QCOMPARE(p.contents, (QList<QByteArray> {QByteArray(), "hello", "xy"}));
        QVERIFY(!p.ended);
    }

    void writerRefusesNamesTheReaderCannotGiveBack()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        PayloadWriter writer(&buffer);
        const QString tooLong(0x10000, QLatin1Char('a'));
        QString bad;
        QVERIFY(!writer.writeHeader({{QStringLiteral("ok"), 0}, {tooLong, 0}}, &bad));
        QCOMPARE(bad, tooLong);
        QVERIFY(!writer.writeHeader({{QStringLiteral("a") + QChar(0) + QStringLiteral("b"), 0}}));
        QCOMPARE(buffer.size(), qint64(0));
        QVERIFY(writer.writeHeader({{QString(0xFFFF, QLatin1Char('a')), 0}}));
        QCOMPARE(parse(buffer.data()).records.value(0).name.size(), 0xFFFF);
    }

    void readerStart_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("status");
        QTest::addRow("version 0") << start(0, 0) << int(PayloadReader::Status::Ok);
        QTest::addRow("version 1") << start(0, 1) << int(PayloadReader::Status::Ok);
        QTest::addRow("version 2") << start(0, 2) << int(PayloadReader::Status::UnknownVersion);
        QTest::addRow("version 255") << start(0, char(0xFF)) << int(PayloadReader::Status::UnknownVersion);
        QTest::addRow("wrong magic") << QByteArray("TSYD\x01\0\0\0\0", 9)
                                     << int(PayloadReader::Status::InvalidHeader);
        QTest::addRow("empty") << QByteArray() << int(PayloadReader::Status::InvalidHeader);
        QTest::addRow("cut in count") << start(0).left(7) << int(PayloadReader::Status::InvalidHeader);
    }

    void readerStart()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, status);
        QCOMPARE(int(parse(payload).status), status);
    }

    // Headers that lie must end the reading without allocating by their numbers and without looping.
    void readerSurvivesLies_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("headerComplete");
        QTest::addColumn<QList<QByteArray>>("contents");
        QTest::addColumn<bool>("ended");
        using L = QList<QByteArray>;
        QTest::addRow("huge count") << start(0x7FFFFFFF) + record("a", 1) << false << L() << true;
        QTest::addRow("negative count") << start(-5) + record("a", 1) << true << L() << false;
        QTest::addRow("name longer than the stream")
            << start(1) + be32(0xFFFFFFFF) + "abc" << false << L() << true;
        QTest::addRow("huge size, one chunk")
            << start(1) + record("a", Q_INT64_C(0x4000000000000000)) + chunk("xyz") << true << L {"xyz"}
            << true;
        QTest::addRow("chunk length overruns")
            << start(1) + record("a", 10) + be32(0x00FFFFFF) + "12345" << true << L {"12345"} << true;
        QTest::addRow("high bits of chunk length ignored")
            << start(1) + record("a", 3) + be32(0xFF000003) + "abc" << true << L {"abc"} << false;
        QTest::addRow("zero-length chunks")
            << start(1) + record("a", 2) + be32(0) + be32(0) + chunk("ab") << true << L {"ab"} << false;
        QTest::addRow("chunk beyond size belongs to the entry")
            << start(2) + record("a", 1) + record("b", 1) + chunk("aaa") + chunk("b") << true
            << L {"aaa", "b"} << false;
        QTest::addRow("negative size has no chunks")
            << start(2) + record("a", -1) + record("b", 1) + chunk("b") << true << L {"", "b"} << false;
        QTest::addRow("payload ends early")
            << start(2) + record("a", 4) + record("b", 4) + chunk("ab") << true << L {"ab", ""} << true;
        QTest::addRow("cut inside a chunk length")
            << start(1) + record("a", 4) + QByteArray(2, '\0') << true << L {""} << true;
    }

    void readerSurvivesLies()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, headerComplete);
        QFETCH(QList<QByteArray>, contents);
        QFETCH(bool, ended);
        const Parsed p = parse(payload);
        QCOMPARE(int(p.status), int(PayloadReader::Status::Ok));
        QCOMPARE(p.headerComplete, headerComplete);
        if (headerComplete) {
            QCOMPARE(p.contents, contents);
            QCOMPARE(p.ended, ended);
        }
    }

    void readerNameStopsAtNul()
    {
        const Parsed p = parse(start(1) + record(QByteArray("abc\0def", 7), 0));
        QCOMPARE(p.records.value(0).name, QStringLiteral("abc"));
        // Only the low 16 bits of a name length count.
        const Parsed q = parse(start(1) + be32(0x00010002) + "ab" + be64(0));
        QCOMPARE(q.records.value(0).name, QStringLiteral("ab"));
    }

    void skipChunkKeepsRunsApart()
    {
        QBuffer buffer;
        buffer.setData(start(2) + record("a", 600000) + record("b", 1) + chunk(QByteArray(524288, 'a'))
                       + chunk(QByteArray(75712, 'a')) + chunk("b"));
        buffer.open(QIODevice::ReadOnly);
        PayloadReader reader(&buffer);
        QCOMPARE(int(reader.readStart()), int(PayloadReader::Status::Ok));
        PayloadRecord a, b;
        QVERIFY(reader.readRecord(&a) && reader.readRecord(&b));
        reader.beginRun(a.size);
        int chunks = 0;
        while (reader.skipChunk())
            ++chunks;
        QCOMPARE(chunks, 2);
        QCOMPARE(reader.runTaken(), qint64(600000));
        reader.beginRun(b.size);
        QByteArray piece;
        QVERIFY(reader.nextChunk(&piece));
        QCOMPARE(piece, QByteArray("b"));
        QVERIFY(!reader.nextChunk(&piece));
        QVERIFY(!reader.ended());
    }

    void trailer_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("fingerprint");
        QTest::addColumn<qint64>("messageLength");
        const QString fpr = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
        QTest::addRow("method 1") << QByteArray("MSG") + ContainerTrailer::encode(1, fpr) << 1 << fpr
                                  << qint64(3);
        QTest::addRow("method 2") << QByteArray("MSG") + ContainerTrailer::encode(2, QStringLiteral("pw"))
                                  << 2 << QString() << qint64(3);
        QTest::addRow("method 1, too short") << QByteArray(5, 'x') + '\x01' << 1 << QString() << qint64(-15);
        QTest::addRow("signed method byte") << QByteArray("MSG\xff") << -1 << QString() << qint64(3);
        QTest::addRow("empty file") << QByteArray() << 0 << QString() << qint64(0);
    }

    void trailer()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, method);
        QFETCH(QString, fingerprint);
        QFETCH(qint64, messageLength);
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("c.tsyc")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        QVERIFY(f.open(QIODevice::ReadOnly));
        const ContainerTrailer t = ContainerTrailer::read(f);
        QCOMPARE(t.method, method);
        QCOMPARE(t.fingerprint, fingerprint);
        QCOMPARE(t.messageLength, messageLength);
    }

    void trailerBytes()
    {
        QCOMPARE(ContainerTrailer::encode(2, QStringLiteral("secret")), QByteArray("\x02"));
        const QByteArray one
            = ContainerTrailer::encode(1, QStringLiteral("00112233445566778899AABBCCDDEEFF00112233"));
        QCOMPARE(one.toHex(), QByteArray("00112233445566778899aabbccddeeff0011223301"));
    }

    void entryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::addRow("plain") << QStringLiteral("a.txt") << true;
        QTest::addRow("nested") << QStringLiteral("Photos/trip/b.jpg") << true;
        QTest::addRow("dots in a name") << QStringLiteral("..hidden/a..b") << true;
        QTest::addRow("empty") << QString() << false;
        QTest::addRow("absolute") << QStringLiteral("/etc/passwd") << false;
        QTest::addRow("parent") << QStringLiteral("../x") << false;
        QTest::addRow("inner parent") << QStringLiteral("a/../../x") << false;
        QTest::addRow("backslash parent") << QStringLiteral("a\\..\\..\\x") << false;
        QTest::addRow("current") << QStringLiteral("./x") << false;
        QTest::addRow("empty part") << QStringLiteral("a//b") << false;
        QTest::addRow("trailing slash") << QStringLiteral("a/") << false;
        QTest::addRow("drive") << QStringLiteral("C:/x") << false;
        QTest::addRow("unc") << QStringLiteral("\\\\host\\share") << false;
    }

    void entryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(EntryPath::isSafeName(name), safe);
    }

    void entryThroughLinks()
    {
        QTemporaryDir root;
        QTemporaryDir outside;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("real/sub")));
        QVERIFY(QFile::link(outside.path(), root.filePath(QStringLiteral("real/link"))));
        QVERIFY(QFile::link(outside.filePath(QStringLiteral("missing")),
                            root.filePath(QStringLiteral("dangling"))));
        QCOMPARE(EntryPath::destination(root.path(), QStringLiteral("real/sub/new/a.txt")),
                 root.path() + QStringLiteral("/real/sub/new/a.txt"));
        QVERIFY(EntryPath::destination(root.path(), QStringLiteral("real/link/a.txt")).isEmpty());
        QVERIFY(EntryPath::destination(root.path(), QStringLiteral("real/link")).isEmpty());
        QVERIFY(EntryPath::destination(root.path(), QStringLiteral("dangling")).isEmpty());
        QVERIFY(EntryPath::destination(root.path(), QStringLiteral("../x")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestContainerFormat)
#include "TestContainerFormat.moc"

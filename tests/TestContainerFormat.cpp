#include "containers/EntryPath.h"
#include "containers/PayloadReader.h"
#include "containers/PayloadWriter.h"

#include <QtEndian>
#include <QtTest>

namespace {

QByteArray be32(quint32 v)
{
    QByteArray b(4, 0);
    qToBigEndian(v, b.data());
    return b;
}

QByteArray start(int count, char version = 1)
{
    return QByteArray("TSYC") + version + be32(quint32(count));
}

QByteArray record(const QByteArray& name, qint64 size)
{
    QByteArray b(8, 0);
    qToBigEndian(size, b.data());
    return be32(quint32(name.size())) + name + b;
}

QByteArray chunk(const QByteArray& data)
{
    return be32(quint32(data.size())) + data;
}

// Reads a payload the way extraction does, handed over in pieces of the given size, and tells what
// came out: "[content,content]" plus " ended" when the input ran dry, or why it stopped.
QString outcome(const QByteArray& payload, int pieceSize)
{
    struct Contents : PayloadReader::Sink
    {
        QStringList entries;
        bool begin(const QVector<PayloadRecord>&) override { return true; }
        bool entry(int) override
        {
            entries << QString();
            return true;
        }
        bool content(const char* data, qint64 length) override
        {
            entries.last() += QString::fromLatin1(data, int(length));
            return true;
        }
    } contents;
    PayloadReader reader(&contents);
    bool ok = true;
    for (int pos = 0; ok && pos < payload.size(); pos += pieceSize)
        ok = reader.feed(payload.constData() + pos, qMin(pieceSize, payload.size() - pos));
    ok = ok && reader.finish();
    if (reader.status() != PayloadReader::Status::Ok)
        return reader.status() == PayloadReader::Status::UnknownVersion ? "unknown version"
                                                                        : "invalid header";
    return "[" + contents.entries.join(',') + "]" + (reader.ended() ? " ended" : "");
}

} // namespace

class TestContainerFormat : public QObject
{
    Q_OBJECT

private slots:
    void writerMatchesTheDocumentedExample()
    {
        QCOMPARE(
            (PayloadWriter::header({{QStringLiteral("a.txt"), 3}}) + PayloadWriter::chunkPrefix(3) + "abc")
                .toHex(' '),
            QByteArray("54 53 59 43 01 00 00 00 01 00 00 00 05 61 2e 74 78 74 "
                       "00 00 00 00 00 00 00 03 00 00 00 03 61 62 63"));
    }

    // Names the reader could not give back (over 16 bits long, NUL) are refused before a byte is written.
    void writerRefusesUnreadableNames()
    {
        QString bad;
        QVERIFY(
            PayloadWriter::header({{QStringLiteral("ok"), 0}, {QString(0x10000, QLatin1Char('a')), 0}}, &bad)
                .isEmpty());
        QCOMPARE(bad.size(), 0x10000);
        QVERIFY(PayloadWriter::header({{QStringLiteral("a") + QChar(0) + QStringLiteral("b"), 0}}).isEmpty());
    }

    // Headers that lie end the reading without allocating by their numbers and without looping.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("outcome");
        QTest::addRow("version 0") << start(1, 0) + record("a", 1) + chunk("a") << "[a]";
        QTest::addRow("version 2") << start(0, 2) << "unknown version";
        QTest::addRow("version 255") << start(0, char(0xFF)) << "unknown version";
        QTest::addRow("wrong magic") << QByteArray("TSYD\x01\0\0\0\0", 9) << "invalid header";
        QTest::addRow("cut in count") << start(0).left(7) << "invalid header";
        QTest::addRow("huge count") << start(0x7FFFFFFF) + record("a", 1) << "invalid header";
        QTest::addRow("count over the limit") << start(PayloadReader::maxEntries + 1) << "invalid header";
        QTest::addRow("negative count") << start(-5) + record("a", 1) << "[]";
        QTest::addRow("name longer than stream") << start(1) + be32(0xFFFFFFFF) + "abc"
                                                 << "invalid header";
        QTest::addRow("huge size") << start(1) + record("a", Q_INT64_C(1) << 62) + chunk("xyz")
                                   << "[xyz] ended";
        QTest::addRow("negative size") << start(2) + record("a", -1) + record("b", 1) + chunk("b") << "[,b]";
        QTest::addRow("chunk overruns") << start(1) + record("a", 10) + be32(0xFFFFFF) + "12345"
                                        << "[12345] ended";
        QTest::addRow("zero-length chunks")
            << start(1) + record("a", 2) + be32(0) + be32(0) + chunk("ab") << "[ab]";
        QTest::addRow("ends early") << start(2) + record("a", 4) + record("b", 4) + chunk("ab")
                                    << "[ab,] ended";
        QTest::addRow("cut in chunk length") << start(1) + record("a", 4) + QByteArray(2, '\0') << "[] ended";
        QTest::addRow("two entries, empty name")
            << start(2) + record("", 1) + record("b", 0) + chunk("x") << "[x,]";
    }

    void reader()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, outcome);
        // However the input is cut into pieces, the same comes out.
        for (int piece : {1, 3, 1 << 20})
            QCOMPARE(::outcome(payload, piece), outcome);
    }

    void entryNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::addRow("nested") << QStringLiteral("Photos/trip/b.jpg") << true;
        QTest::addRow("dots in a name") << QStringLiteral("..hidden/a..b") << true;
        QTest::addRow("empty") << QString() << false;
        QTest::addRow("absolute") << QStringLiteral("/etc/passwd") << false;
        QTest::addRow("inner parent") << QStringLiteral("a/../../x") << false;
        QTest::addRow("backslash parent") << QStringLiteral("a\\..\\..\\x") << false;
        QTest::addRow("empty part") << QStringLiteral("a//b") << false;
        QTest::addRow("drive") << QStringLiteral("C:/x") << false;
    }

    void entryNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QCOMPARE(EntryPath::isSafeName(name), safe);
    }
};

QTEST_GUILESS_MAIN(TestContainerFormat)
#include "TestContainerFormat.moc"

// The relay's streaming form reader: the same parts come out whatever pieces the body arrives in,
// delimiter look-alikes inside data stay data, and malformed forms are refused.

#include "MultipartStream.h"

#include <QtTest>

namespace {

const std::string boundary = "b0und";

// name=data pairs joined with '|', and whether the closing delimiter was reached; "refused" when
// feed() said no.
QByteArray parse(const QByteArray& body, int pieceSize)
{
    QByteArray parts;
    MultipartStream form(
        boundary,
        [&](const std::string& name) {
            if (!parts.isEmpty())
                parts += '|';
            parts += QByteArray::fromStdString(name) + '=';
            return name != "stop";
        },
        [&](const char* data, std::size_t size) {
            parts.append(data, int(size));
            return true;
        });
    for (int pos = 0; pos < body.size(); pos += pieceSize) {
        if (!form.feed(body.constData() + pos, std::size_t(qMin(pieceSize, body.size() - pos))))
            return "refused";
    }
    return parts + (form.finished() ? " (end)" : " (open)");
}

QByteArray part(const QByteArray& name, const QByteArray& data)
{
    return "--b0und\r\nContent-Disposition: form-data; name=\"" + name
        + "\"; filename=\"x\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n";
}

} // namespace

class TestMultipartStream : public QObject
{
    Q_OBJECT

private slots:
    void parts_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray binary = QByteArray("\r\n--b0un\r\n--\r\n\0--b0unD", 22) + QByteArray(70000, '\xff');
        QTest::addRow("two parts") << part("container", binary) + part("uid", "{id}") + "--b0und--\r\n"
                                   << "container=" + binary + "|uid={id} (end)";
        QTest::addRow("preamble and epilogue") << "ignored text\r\n" + part("uid", "u")
                + "--b0und--\r\nignored too" << QByteArray("uid=u (end)");
        QTest::addRow("empty part and bare name")
            << QByteArray("--b0und\r\ncontent-disposition: form-data; name=uid\r\n\r\n\r\n--b0und--")
            << QByteArray("uid= (end)");
        QTest::addRow("part without headers")
            << QByteArray("--b0und\r\n\r\ndata\r\n--b0und--") << QByteArray("=data (end)");
        QTest::addRow("blanks after a delimiter")
            << QByteArray("--b0und \t\r\nContent-Disposition: form-data; name=a\r\n\r\nx\r\n--b0und--")
            << QByteArray("a=x (end)");
        // The last bytes are held back: they could still begin a delimiter.
        QTest::addRow("no closing delimiter") << part("container", "abc") << QByteArray("container= (open)");
        QTest::addRow("text after a delimiter") << QByteArray("--b0undX\r\n\r\n") << QByteArray("refused");
        QTest::addRow("headers without end")
            << "--b0und\r\n" + QByteArray(20000, 'h') << QByteArray("refused");
        QTest::addRow("long preamble") << QByteArray(20000, 'p') + part("a", "x") << QByteArray("refused");
        QTest::addRow("receiver stops") << part("stop", "x") + part("a", "y") << QByteArray("refused");
    }

    void parts()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        for (int pieceSize : {1, 2, 3, 7, 4096, body.size()})
            QVERIFY2(parse(body, pieceSize) == expected, qPrintable(QString::number(pieceSize)));
    }

    void boundary_data()
    {
        QTest::addColumn<QString>("contentType");
        QTest::addColumn<QString>("expected");
        QTest::addRow("plain") << "multipart/form-data; boundary=abc"
                               << "abc";
        QTest::addRow("quoted, other case") << "Multipart/Form-Data; charset=x; Boundary=\"a b\""
                                            << "a b";
        QTest::addRow("other type") << "multipart/mixed; boundary=abc"
                                    << "";
        QTest::addRow("none") << "multipart/form-data"
                              << "";
        QTest::addRow("too long") << "multipart/form-data; boundary=" + QString(71, 'x') << "";
    }

    void boundary()
    {
        QFETCH(QString, contentType);
        QFETCH(QString, expected);
        std::string found;
        QCOMPARE(MultipartStream::boundaryOf(contentType.toStdString(), &found), !expected.isEmpty());
        QCOMPARE(QString::fromStdString(found), expected);
    }
};

QTEST_APPLESS_MAIN(TestMultipartStream)
#include "TestMultipartStream.moc"

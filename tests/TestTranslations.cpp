// Every user-visible text of the native code and of qml/ has a finished translation in each shipped
// language, with the placeholders of its source. The sources are scanned afresh at test time by
// scripts/update-translations.sh, run on copies of i18n/*.ts, so a text added to the code without a
// translation shows up here as unfinished.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString sourceDir = QStringLiteral(TESSARY_SOURCE_DIR);

struct Message
{
    QString context;
    QString source;
    QStringList translations; // one per plural form for numerus messages
    bool finished = true;
};

// The messages that are still in the code: vanished and obsolete ones are left out.
QVector<Message> readMessages(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QVector<Message> messages;
    QString context;
    Message message;
    bool numerus = false;
    bool current = false;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringRef name = xml.name();
        if (xml.isEndElement() && name == QLatin1String("message") && current)
            messages.append(message);
        if (!xml.isStartElement())
            continue;
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            message = Message {context, QString(), {}, true};
            numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
        } else if (name == QLatin1String("source")) {
            message.source = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            const QStringRef type = xml.attributes().value(QLatin1String("type"));
            current = type != QLatin1String("vanished") && type != QLatin1String("obsolete");
            message.finished = type.isEmpty();
            if (!numerus)
                message.translations.append(xml.readElementText());
        } else if (name == QLatin1String("numerusform")) {
            message.translations.append(xml.readElementText());
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

QStringList placeholders(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("%L?([1-9][0-9]?|n)"));
    QStringList found;
    for (auto it = pattern.globalMatch(text); it.hasNext();)
        found.append(it.next().captured(1));
    found.sort();
    found.removeDuplicates();
    return found;
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QStringList files
            = QDir(sourceDir + QStringLiteral("/i18n")).entryList({QStringLiteral("*.ts")});
        QStringList copies;
        for (const QString& file : files) {
            copies.append(m_dir.filePath(file));
            QVERIFY(QFile::copy(sourceDir + QStringLiteral("/i18n/") + file, copies.last()));
        }
        QVERIFY2(!copies.isEmpty(), "no translation sources in i18n/");
        QProcess update;
        update.setProcessChannelMode(QProcess::MergedChannels);
        update.start(QStringLiteral("bash"),
                     QStringList {sourceDir + QStringLiteral("/scripts/update-translations.sh")} + copies);
        QVERIFY(update.waitForFinished(120000));
        QVERIFY2(update.exitStatus() == QProcess::NormalExit && update.exitCode() == 0,
                 update.readAll().constData());
    }

    void complete_data()
    {
        QTest::addColumn<QString>("language");
        for (const char* language : {"en", "de_DE", "ru_RU", "zh_CN"})
            QTest::addRow("%s", language) << QString::fromLatin1(language);
    }

    void complete()
    {
        QFETCH(QString, language);
        QString error;
        const QVector<Message> messages
            = readMessages(m_dir.filePath(language + QStringLiteral(".ts")), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!messages.isEmpty());

        QStringList untranslated;
        QStringList mismatched;
        for (const Message& message : messages) {
            const QString where = QStringLiteral("  [%1] \"%2\"").arg(message.context, message.source);
            const bool empty = message.translations.isEmpty()
                || std::any_of(message.translations.cbegin(), message.translations.cend(),
                               [](const QString& text) { return text.trimmed().isEmpty(); });
            if (!message.finished || empty) {
                untranslated.append(where);
                continue;
            }
            for (const QString& translation : message.translations) {
                if (placeholders(translation) != placeholders(message.source))
                    mismatched.append(where + QStringLiteral(" -> \"") + translation + QLatin1Char('"'));
            }
        }
        QString report;
        if (!untranslated.isEmpty())
            report += QStringLiteral("\n%1: %2 text(s) without a finished translation:\n%3")
                          .arg(language)
                          .arg(untranslated.size())
                          .arg(untranslated.join(QLatin1Char('\n')));
        if (!mismatched.isEmpty())
            report += QStringLiteral("\n%1: %2 translation(s) with other placeholders than the source:\n%3")
                          .arg(language)
                          .arg(mismatched.size())
                          .arg(mismatched.join(QLatin1Char('\n')));
        QVERIFY2(report.isEmpty(), qPrintable(report));
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "TestTranslations.moc"

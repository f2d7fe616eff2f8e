#include "app/AppSettings.h"
#include "platform/Platform.h"
#include "util/TestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(StagingFolder::ExistingFiles)

class TestAppSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;

    QString i18nDir() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/i18n"); }

private slots:
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        QDir(i18nDir()).removeRecursively();
    }

    void cleanupTestCase()
    {
        QDir(i18nDir()).removeRecursively();
        m_home.reset();
    }

    void localesWithoutTranslations()
    {
        AppSettings settings;
        const QVariantMap locales = settings.locales();
        QCOMPARE(locales.keys(), QStringList {QStringLiteral("en_GB")});
        const QVariantMap english = locales.value(QStringLiteral("en_GB")).toMap();
        QCOMPARE(english.value(QStringLiteral("title")).toString(), QStringLiteral("English"));
        QCOMPARE(english.value(QStringLiteral("icon")).toString(), QStringLiteral("assets/lang/english.svg"));
        QVERIFY(!english.value(QStringLiteral("nativeTitle")).toString().isEmpty());
    }

    void localesFromTranslationFiles()
    {
        QVERIFY(QDir().mkpath(i18nDir()));
        for (const char* name : {"en_GB.qm", "ru_RU.qm", "zh_CN.qm", "notes.txt"}) {
            QFile file(i18nDir() + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        AppSettings settings;
        const QVariantMap locales = settings.locales();
        QCOMPARE(locales.keys(), (QStringList {"en_GB", "ru_RU", "zh_CN"}));
        QCOMPARE(locales.value(QStringLiteral("ru_RU")).toMap().value(QStringLiteral("icon")).toString(),
                 QStringLiteral("assets/lang/russian.svg"));
        QCOMPARE(locales.value(QStringLiteral("zh_CN")).toMap().value(QStringLiteral("title")).toString(),
                 QStringLiteral("Chinese"));
        QDir(i18nDir()).removeRecursively();
    }

    void existingFilesPolicy_data()
    {
        using Policy = StagingFolder::ExistingFiles;
        QTest::addColumn<QVariant>("old"); // "dontOverwriteExistingFiles"
        QTest::addColumn<QVariant>("stored"); // "existingFiles"
        QTest::addColumn<Policy>("policy");
        QTest::addRow("new installation") << QVariant() << QVariant() << Policy::KeepBoth;
        QTest::addRow("old: do not overwrite") << QVariant(true) << QVariant() << Policy::Keep;
        QTest::addRow("old: overwrite") << QVariant(false) << QVariant() << Policy::Overwrite;
        QTest::addRow("old as the settings file has it") << QVariant("true") << QVariant() << Policy::Keep;
        QTest::addRow("the new key wins") << QVariant(true) << QVariant("keepBoth") << Policy::KeepBoth;
        QTest::addRow("unknown name") << QVariant() << QVariant("replaceAll") << Policy::KeepBoth;
    }

    void existingFilesPolicy()
    {
        QFETCH(QVariant, old);
        QFETCH(QVariant, stored);
        QFETCH(StagingFolder::ExistingFiles, policy);
        QSettings settings;
        settings.remove(QStringLiteral("dontOverwriteExistingFiles"));
        settings.remove(QStringLiteral("existingFiles"));
        if (old.isValid())
            settings.setValue(QStringLiteral("dontOverwriteExistingFiles"), old);
        if (stored.isValid())
            settings.setValue(QStringLiteral("existingFiles"), stored);
        settings.sync();
        QCOMPARE(AppSettings::existingFiles(), policy);

        // The settings page's choice is stored under the new key and read back from there.
        AppSettings page;
        QSignalSpy changed(&page, &AppSettings::existingFilesChanged);
        page.setExistingFilesName(QStringLiteral("overwrite"));
        QCOMPARE(AppSettings::existingFiles(), StagingFolder::ExistingFiles::Overwrite);
        QCOMPARE(QSettings().value(QStringLiteral("existingFiles")).toString(), QStringLiteral("overwrite"));
        QCOMPARE(changed.count(), policy == StagingFolder::ExistingFiles::Overwrite ? 0 : 1);
    }

    // setLocale() installs the language's translation, found also for a variant without a file of
    // its own, and the polished English for a language without one. Sizes take their units from it
    // and their number format from QLocale.
    void sizesFollowTheLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addRow("American") << "en_US" << 1572864.0 << "1.5 MB";
        QTest::addRow("British, below a MiB") << "en_GB" << 1000.0 << "0.98 KB";
        QTest::addRow("exactly a MiB stays in KB") << "en_GB" << 1048576.0 << "1,024 KB";
        QTest::addRow("German decimal comma") << "de_DE" << 1572864.0 << "1,5 MB";
        QTest::addRow("German, beyond 32 bits") << "de_DE" << 5368709120.0 << "5.120 MB";
        QTest::addRow("a German variant without a file") << "de_DE_special" << 1572864.0 << "1,5 MB";
        QTest::addRow("Russian") << "ru_RU" << 1258291.0 << "1,2 МБ";
        QTest::addRow("Chinese, nothing") << "zh_CN" << 0.0 << "0 KB";
        QTest::addRow("no translation: its numbers, English words") << "fr_FR" << 1572864.0 << "1,5 MB";
    }

    void sizesFollowTheLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(double, bytes);
        QFETCH(QString, text);
        // The build's own translations, where the program looks for them.
        QVERIFY(QDir().mkpath(i18nDir()));
        const QDir built(QCoreApplication::applicationDirPath() + QStringLiteral("/../i18n"));
        for (const QString& file : built.entryList({QStringLiteral("*.qm")}))
            QFile::copy(built.filePath(file), i18nDir() + QLatin1Char('/') + file);
        AppSettings settings;
        settings.setLocale(locale);
        QCOMPARE(AppSettings::sizeText(bytes), text);
        settings.setLocale(QStringLiteral("C"));
        QDir(i18nDir()).removeRecursively();
    }

    void autorunEntryFollowsTheFlag()
    {
        AppSettings settings;
        const QString entry = Platform::autorunLocation();
        QVERIFY(entry.startsWith(m_home->path()));
        settings.setAutorun(false);
        QVERIFY(!QFile::exists(entry));
        settings.setAutorun(true);
        settings.setAutorun(true);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY(text.contains(QStringLiteral("Name=Tessary\n")));
        QVERIFY(text.contains(QStringLiteral("Exec=\"%1\"\n").arg(QCoreApplication::applicationFilePath())));
        QVERIFY(text.contains(QStringLiteral("\nTryExec=%1\n").arg(QCoreApplication::applicationFilePath())));
        settings.setAutorun(false);
        settings.setAutorun(false);
        QVERIFY(!QFile::exists(entry));
    }
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "TestAppSettings.moc"

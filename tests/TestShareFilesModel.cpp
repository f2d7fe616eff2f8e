#include "models/ShareFilesModel.h"
#include "util/ScriptedPrompter.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestShareFilesModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    bool touch(const QString& relative) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile f(path(relative));
        return f.open(QIODevice::WriteOnly);
    }

    QList<QUrl> urls(const QStringList& relatives) const
    {
        QList<QUrl> list;
        for (const QString& p : relatives)
            list.append(QUrl::fromLocalFile(path(p)));
        return list;
    }

private slots:
    void initTestCase() { m_home = std::make_unique<TestHome>(); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void addsFilesAndFolders()
    {
        const QString unicode = QStringLiteral("Grüße %20 日本.txt");
        for (const QString& f :
             QStringList {"x/report.pdf", "y/report.pdf", "Photos/a.jpg", "Photos/trip/b.jpg", "B.txt",
                          "a.txt", "Photos/.hidden", "Empty/inner/.keep", unicode})
            QVERIFY(touch(f));
        QVERIFY(QFile::remove(path("Empty/inner/.keep")));
        ScriptedPrompter prompter;
        ShareFilesModel model(nullptr, &prompter);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // The same name twice: the later path stays.
        model.addFiles(urls({"x/report.pdf", "a.txt", "a.txt", "B.txt", unicode}));
        model.addFiles(urls({"y/report.pdf", "Photos", "Empty"}));
        const QVariantMap expected {{"B.txt", path("B.txt")},
                                    {"Photos/a.jpg", path("Photos/a.jpg")},
                                    {"Photos/trip/b.jpg", path("Photos/trip/b.jpg")},
                                    {"a.txt", path("a.txt")},
                                    {"report.pdf", path("y/report.pdf")},
                                    {unicode, path(unicode)}};
        QCOMPARE(model.fileList(), expected);
        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(model.data(model.index(0)).toString(), QStringLiteral("B.txt"));
        QCOMPARE(model.data(model.index(4)).toString(), QStringLiteral("a.txt"));
        QVERIFY(prompter.messages.isEmpty());
    }

    // A link to a file counts under the link's name, a folder link is followed, a link to a link is skipped.
    void links()
    {
        QVERIFY(touch("target/real.txt"));
        QVERIFY(QFile::link(path("target/real.txt"), path("link.txt")));
        QVERIFY(QFile::link(path("link.txt"), path("link-to-link.txt")));
        QVERIFY(QFile::link(path("target"), path("dirlink")));
        ShareFilesModel model;
        model.addFiles(urls({"link.txt", "link-to-link.txt", "dirlink"}));
        const QVariantMap expected {{"real.txt", path("target/real.txt")},
                                    {"target/real.txt", path("target/real.txt")}};
        QCOMPARE(model.fileList(), expected);
    }

    // Level 0 is the chosen folder; a file at every level down to 16, levels 0 to 15 kept.
    void depthLimit()
    {
        QString name = QStringLiteral("deep");
        QStringList expected;
        for (int level = 0; level <= 16; ++level, name += "/d") {
            QVERIFY(touch(name + QStringLiteral("/f%1").arg(level)));
            if (level <= 15)
                expected.append(name + QStringLiteral("/f%1").arg(level));
        }
        ShareFilesModel model;
        model.addFiles(urls({"deep"}));
        expected.sort();
        QCOMPARE(model.fileList().keys(), expected);
    }

    // Under the limit a whole folder still goes in (4990 + 20); past it nothing more does.
    void countLimit()
    {
        QStringList first;
        for (int i = 0; i < 4990; ++i) {
            first.append(QStringLiteral("many/%1").arg(i));
            QVERIFY(touch(first.last()));
        }
        for (int i = 0; i < 20; ++i)
            QVERIFY(touch(QStringLiteral("twenty/%1").arg(i)));
        QVERIFY(touch("one-more"));

        ScriptedPrompter prompter;
        ShareFilesModel model(nullptr, &prompter);
        model.addFiles(urls(first));
        QVERIFY(prompter.messages.isEmpty());
        model.addFiles(urls({"twenty"}));
        QCOMPARE(model.rowCount(), 5010);
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages.at(0).icon, Prompter::Icon::Warning);
        QCOMPARE(prompter.messages.at(0).title, QStringLiteral("File count limit exceed"));
        QCOMPARE(prompter.messages.at(0).text,
                 QStringLiteral("You cannot add more than 5000 files in one container"));
        model.addFiles(urls({"one-more"}));
        QCOMPARE(model.rowCount(), 5010);
        QCOMPARE(prompter.messages.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestShareFilesModel)
#include "TestShareFilesModel.moc"

#include "models/ShareFilesModel.h"
#include "util/ScriptedPrompter.h"
#include "util/TestHome.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

QList<QUrl> urls(const QStringList& paths)
{
    QList<QUrl> list;
    for (const QString& p : paths)
        list.append(QUrl::fromLocalFile(p));
    return list;
}

} // namespace

class TestShareFilesModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& relative) const { return m_dir->filePath(relative); }

private slots:
    void initTestCase() { m_home = std::make_unique<TestHome>(); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void addsFilesAndFolders()
    {
        for (const char* f : {"x/report.pdf", "y/report.pdf", "Photos/a.jpg", "Photos/trip/b.jpg", "B.txt",
                              "a.txt", "Photos/.hidden", "Empty/inner/.keep"})
            QVERIFY(touch(path(QString::fromLatin1(f))));
        QVERIFY(QFile::remove(path(QStringLiteral("Empty/inner/.keep"))));
        ScriptedPrompter prompter;
        ShareFilesModel model(nullptr, &prompter);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

        model.addFiles(urls({path("x/report.pdf"), path("a.txt"), path("a.txt"), path("B.txt")}));
        model.addFiles(urls({path("y/report.pdf"), path("Photos"), path("Empty")}));
        QCOMPARE(resets.count(), 2);
        const QVariantMap expected {{"B.txt", path("B.txt")},
                                    {"Photos/a.jpg", path("Photos/a.jpg")},
                                    {"Photos/trip/b.jpg", path("Photos/trip/b.jpg")},
                                    {"a.txt", path("a.txt")},
                                    {"report.pdf", path("y/report.pdf")}};
        QCOMPARE(model.fileList(), expected);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.data(model.index(0)).toString(), QStringLiteral("B.txt"));
        QCOMPARE(model.data(model.index(3)).toString(), QStringLiteral("a.txt"));
        QVERIFY(!model.data(model.index(0), Qt::UserRole).isValid());
        QVERIFY(!model.data(model.index(0), Qt::DecorationRole).isValid());
        QCOMPARE(model.rowCount(model.index(0)), 0);
        QVERIFY(prompter.messages.isEmpty());

        model.removeFile(0);
        QCOMPARE(model.fileList().firstKey(), QStringLiteral("Photos/a.jpg"));
        model.removeFile(17);
        QCOMPARE(model.rowCount(), 4);
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }

    void nonAsciiNames()
    {
        const QString name = QStringLiteral("Grüße %20 日本.txt");
        QVERIFY(touch(path(name)));
        ShareFilesModel model;
        model.addFiles(urls({path(name)}));
        QCOMPARE(model.fileList().keys(), QStringList {name});
    }

    void links()
    {
        QVERIFY(touch(path("target/real.txt")));
        QVERIFY(QFile::link(path("target/real.txt"), path("link.txt")));
        QVERIFY(QFile::link(path("link.txt"), path("link-to-link.txt")));
        QVERIFY(QFile::link(path("target"), path("dirlink")));
        ShareFilesModel model;
        model.addFiles(urls({path("link.txt"), path("link-to-link.txt"), path("dirlink")}));
        const QVariantMap expected {{"real.txt", path("target/real.txt")},
                                    {"target/real.txt", path("target/real.txt")}};
        QCOMPARE(model.fileList(), expected);
    }

    void depthLimit()
    {
        // Level 0 is the chosen folder; a file at every level down to 16.
        QString dir = path(QStringLiteral("deep"));
        QString name = QStringLiteral("deep");
        QStringList expected;
        for (int level = 0; level <= 16; ++level) {
            QVERIFY(touch(dir + QStringLiteral("/f%1").arg(level)));
            if (level <= 15)
                expected.append(name + QStringLiteral("/f%1").arg(level));
            dir += QStringLiteral("/d");
            name += QStringLiteral("/d");
        }
        ShareFilesModel model;
        model.addFiles(urls({path(QStringLiteral("deep"))}));
        QStringList keys = model.fileList().keys();
        std::sort(expected.begin(), expected.end());
        QCOMPARE(keys, expected);
    }

    void countLimit()
    {
        QVERIFY(QDir(path("many")).mkpath("."));
        QVERIFY(QDir(path("twenty")).mkpath("."));
        QStringList first;
        for (int i = 0; i < 4990; ++i) {
            const QString f = path(QStringLiteral("many/%1").arg(i));
            QVERIFY(touch(f));
            first.append(f);
        }
        for (int i = 0; i < 20; ++i)
            QVERIFY(touch(path(QStringLiteral("twenty/%1").arg(i))));
        QVERIFY(touch(path("one-more")));

        ScriptedPrompter prompter;
        ShareFilesModel model(nullptr, &prompter);
        model.addFiles(urls(first));
        QCOMPARE(model.rowCount(), 4990);
        QVERIFY(prompter.messages.isEmpty());

        model.addFiles(urls({path("twenty")}));
        QCOMPARE(model.rowCount(), 5010);
        QCOMPARE(prompter.messages.size(), 1);
        QCOMPARE(prompter.messages.at(0).icon, Prompter::Icon::Warning);
        QCOMPARE(prompter.messages.at(0).title, QStringLiteral("File count limit exceed"));
        QCOMPARE(prompter.messages.at(0).text,
                 QStringLiteral("You cannot add more than 5000 files in one container"));

        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        model.addFiles(urls({path("one-more")}));
        QCOMPARE(model.rowCount(), 5010);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(prompter.messages.size(), 2);
    }

    void filesDialog()
    {
        QVERIFY(touch(path("pick/one.txt")));
        QVERIFY(touch(path("pick/two.txt")));
        ScriptedPrompter prompter;
        ShareFilesModel model(nullptr, &prompter);
        QSettings().remove(QStringLiteral("fileDialogs/lastOpenDir"));

        model.openFilesDialog(); // cancelled: empty queue
        QCOMPARE(prompter.startDirs.value(0), QUrl::fromLocalFile(QDir::homePath()).toString());
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!QSettings().contains(QStringLiteral("fileDialogs/lastOpenDir")));

        prompter.fileUrls.enqueue(urls({path("pick/one.txt"), path("pick/two.txt")}));
        model.openFilesDialog();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(QSettings().value(QStringLiteral("fileDialogs/lastOpenDir")).toUrl(),
                 QUrl::fromLocalFile(path("pick")));
        model.openFilesDialog();
        QCOMPARE(prompter.startDirs.value(2), QUrl::fromLocalFile(path("pick")).toString());
    }
};

QTEST_GUILESS_MAIN(TestShareFilesModel)
#include "TestShareFilesModel.moc"

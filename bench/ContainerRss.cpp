// Peak memory of the container pipelines on a large file. One phase per process run, so that the
// peak resident set size (ru_maxrss, gpg not included) belongs to that phase alone:
//   save SRC OUT          pack and encrypt SRC (method 2) into the container OUT
//   upload SRC            pack, encrypt and upload SRC to the server named by TESSARY_SERVER_URL
//   download ID DIR       download, decrypt (own file cut to its message) and extract into DIR
//   extract CONTAINER DIR decrypt (message piped to gpg) and extract a local container into DIR
// HOME must hold .tessary2 and a settings store; the script prepares them.

#include "app/Startup.h"
#include "containers/ContainerManager.h"
#include "gpg/Gpg.h"
#include "net/ServerConfig.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTextStream>
#include <QUuid>

#include <sys/resource.h>

namespace {

class PasswordPrompter : public NullPrompter
{
public:
    using NullPrompter::NullPrompter;
    QString password(const QString&, bool* ok) override
    {
        *ok = true;
        return QStringLiteral("bench password");
    }
};

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Startup::setApplicationNames();
    initGpgCommandPrefix();
    QString error;
    if (!loadServerConfig(&error)) {
        QTextStream(stderr) << error << '\n';
        return 2;
    }
    QSettings settings;
    if (settings.value("uid").toUuid().isNull())
        settings.setValue("uid", QUuid::createUuid());

    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const QString phase = args.at(1);
    PasswordPrompter prompter;
    ContainerManager manager(nullptr, &prompter);
    bool ok = false;
    QObject::connect(&manager, &ContainerManager::error,
                     [](const QString& t) { QTextStream(stderr) << t << '\n'; });
    QObject::connect(&manager, &ContainerManager::success, [&](const QString& id, qlonglong size) {
        ok = true;
        QTextStream(stdout) << "fileId=" << id << " size=" << size << '\n';
    });
    QObject::connect(&manager, &ContainerManager::cleared, [&] { ok = true; });

    QElapsedTimer timer;
    timer.start();
    if (phase == QLatin1String("save") && args.size() == 4) {
        manager.shareContainer(args.at(3), {{QStringLiteral("big.bin"), args.at(2)}}, 2, "bench password");
    } else if (phase == QLatin1String("upload")) {
        manager.shareContainer(QString(), {{QStringLiteral("big.bin"), args.at(2)}}, 2, "bench password");
    } else if (phase == QLatin1String("download") && args.size() == 4) {
        settings.setValue("extractPath", args.at(3));
        manager.downloadById(args.at(2));
    } else if (phase == QLatin1String("extract") && args.size() == 4) {
        settings.setValue("extractPath", args.at(3));
        ok = manager.extractContainer(args.at(2));
    } else {
        return 2;
    }
    QTextStream(stdout) << phase << ": " << (ok ? "ok" : "FAILED") << ", " << timer.elapsed() / 1000.0
                        << " s, peak RSS " << peakRssKb() / 1024 << " MiB\n";
    return ok ? 0 : 1;
}

// tessary-server: the relay that Tessary clients exchange keys and encrypted containers through.

#include "AccessLog.h"
#include "DevTls.h"
#include "FileBlobStore.h"
#include "MetadataStore.h"
#include "PostgresDatabase.h"
#include "RelayApi.h"
#include "RelayServer.h"
#include "ServerOptions.h"
#include "SqliteDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
int fail(const QString& message)
{
    std::fprintf(stderr, "tessary-server: %s\n", message.toLocal8Bit().constData());
    return 1;
}

void say(const QString& line)
{
    std::printf("tessary-server: %s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

// Two servers on one data folder would hand out the same files twice; the lock ends with the
// process, however it ends.
bool lockDataDir(const QString& dir, QString* error)
{
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/server.lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = QStringLiteral("another tessary-server is using %1").arg(dir);
        return false;
    }
    return true; // the descriptor stays open for the life of the process
}

qint64 sweepInterval(qint64 expirySeconds)
{
    return qBound<qint64>(1, expirySeconds / 4, 60);
}
} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    ServerOptions options;
    QString error;
    switch (options.parse(arguments, &error)) {
    case ServerOptions::Parse::Help:
        std::fputs(ServerOptions::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    case ServerOptions::Parse::Error:
        std::fprintf(stderr, "tessary-server: %s\n", error.toLocal8Bit().constData());
        return 2;
    case ServerOptions::Parse::Run:
        break;
    }

    // Signals are taken by one thread with sigwait(), so they must be blocked before any other
    // thread exists; a closed connection must not kill the process.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Every connection is a descriptor, and the usual soft limit of 1024 is below the connection cap.
    rlimit files {};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    const QString dataDir = QFileInfo(options.dataDir).absoluteFilePath();
    if (!QDir().mkpath(dataDir))
        return fail(QStringLiteral("cannot create the data folder %1").arg(dataDir));
    ::chmod(QFile::encodeName(dataDir).constData(), 0700);
    if (!lockDataDir(dataDir, &error))
        return fail(error);

    QString certFile = options.certFile;
    QString keyFile = options.keyFile;
    DevTls devTls(dataDir + QStringLiteral("/tls"));
    if (options.devTls) {
        if (!devTls.ensure(&error))
            return fail(error);
        certFile = devTls.certFile();
        keyFile = devTls.keyFile();
    }

    AccessLog log;
    if (!log.open(options.accessLog, dataDir + QStringLiteral("/access-log.salt"), &error))
        return fail(error);
    std::unique_ptr<SqlDatabase> database;
    if (options.database.isEmpty()) {
        auto sqlite = std::make_unique<SqliteDatabase>();
        if (!sqlite->open(dataDir + QStringLiteral("/relay.db"), &error))
            return fail(QStringLiteral("cannot open the database: %1").arg(error));
        database = std::move(sqlite);
    } else {
        auto postgres = std::make_unique<PostgresDatabase>();
        if (!postgres->open(options.database, &error))
            return fail(QStringLiteral("cannot open the database: %1").arg(error));
        database = std::move(postgres);
        // Another server may be storing a container right now; a crash is only assumed after an hour.
        options.limits.unfinishedGraceSeconds = 3600;
    }
    MetadataStore metadata(*database);
    if (!metadata.createTables(&error))
        return fail(QStringLiteral("cannot create the tables: %1").arg(error));
    FileBlobStore blobs(options.containersDir.isEmpty()
                            ? dataDir + QStringLiteral("/containers")
                            : QFileInfo(options.containersDir).absoluteFilePath());
    if (!blobs.open(&error))
        return fail(error);

    RelayApi api(metadata, blobs, options.limits);
    api.recover();
    api.sweep();

    RelayServer server(options, api, log);
    if (!server.bind(certFile, keyFile, &error))
        return fail(error);

    std::mutex mutex;
    std::condition_variable wake;
    bool finished = false;

    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::unique_lock<std::mutex> lock(mutex);
        if (finished)
            return;
        say(QStringLiteral("stopping"));
        // stop() has no effect until the listening loop runs; repeat until it has ended.
        while (!finished) {
            server.stop();
            wake.wait_for(lock, std::chrono::milliseconds(100));
        }
    });
    std::thread sweeper([&] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished) {
            wake.wait_for(lock,
                          std::chrono::seconds(sweepInterval(
                              qMin(options.limits.expirySeconds, options.limits.uploadExpirySeconds))));
            if (finished)
                break;
            lock.unlock();
            api.sweep();
            lock.lock();
        }
    });

    if (options.devTls)
        say(QStringLiteral("CA certificate %1").arg(devTls.caFile()));
    const QString host = options.listenHost.contains(QLatin1Char(':'))
        ? QStringLiteral("[%1]").arg(options.listenHost)
        : options.listenHost;
    say(QStringLiteral("ready on https://%1:%2").arg(host).arg(server.port()));

    const bool served = server.run();

    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    wake.notify_all();
    pthread_kill(signalWaiter.native_handle(), SIGTERM); // ends its sigwait() if no signal came
    signalWaiter.join();
    sweeper.join();
    if (!served)
        return fail(QStringLiteral("the server stopped unexpectedly"));
    say(QStringLiteral("stopped"));
    return 0;
}

#include "cli/CliApp.h"

#include "app/Startup.h"
#include "cli/CliPrompter.h"
#include "cli/ProgressBar.h"
#include "cli/Terminal.h"
#include "containers/ContainerManager.h"
#include "gpg/Gpg.h"
#include "models/FileEventsModel.h"
#include "models/PrivKeysModel.h"
#include "models/PubKeysModel.h"
#include "models/ShareFilesModel.h"
#include "net/ServerConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLockFile>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace {

const QString toOption = QStringLiteral("to");
const QString passwordOption = QStringLiteral("password");
const QString extractPathKey = QStringLiteral("extractPath");

// Key generation normally takes seconds; a gpg that never reports back must not hang a script.
constexpr int keyGenerationLimitMs = 300000;

// Tabs and line breaks inside a field would break the one-record-per-line output.
QString field(const QVariant& value)
{
    QString text = value.toString();
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

// The server sends file ids as JSON numbers (or text); both print as plain decimal digits.
QString fileIdText(const QVariant& value)
{
    if (value.type() == QVariant::Double || value.type() == QVariant::LongLong
        || value.type() == QVariant::Int)
        return QString::number(value.toLongLong());
    return value.toString();
}

template<typename Model> void fetchAll(Model& model)
{
    while (model.canFetchMore())
        model.fetchMore();
}

} // namespace

CliApp::CliApp(QObject* parent)
    : QObject(parent)
{
    auto command = [this](const QString& name, const QString& summary, const QString& syntax, int min,
                          int max, Handler handler) -> CliCommand& {
        m_commands.push_back({CliCommand(name, summary, syntax, min, max), handler});
        return m_commands.back().command;
    };
    command(QStringLiteral("id"),
            tr("Print your own key id. The first time, generate the key pair and register it."), QString(), 0,
            0, &CliApp::showId);
    command(QStringLiteral("contacts"), tr("List the contacts, one KEYID<TAB>TITLE line each."), QString(), 0,
            0, &CliApp::listContacts);
    command(QStringLiteral("add"), tr("Add a contact by key id, optionally with a title."),
            tr("KEYID [TITLE]"), 1, 2, &CliApp::addContact);
    command(QStringLiteral("rename"), tr("Change the title of a contact."), tr("KEYID TITLE"), 2, 2,
            &CliApp::renameContact);
    command(QStringLiteral("remove"), tr("Remove a contact from this computer."), tr("KEYID"), 1, 1,
            &CliApp::removeContact);
    command(QStringLiteral("send"),
            tr("Send files and folders to a contact through the server. Prints the server's file id."),
            tr("KEYID PATH..."), 2, -1, &CliApp::send);
    CliCommand& save
        = command(QStringLiteral("save"),
                  tr("Save files and folders as a local container. It is encrypted to a contact's key "
                     "(--to) or with a password read from the first line of standard input "
                     "(--password)."),
                  tr("OUT.tsyc PATH..."), 2, -1, &CliApp::save);
    save.addOption(QCommandLineOption(toOption, tr("Encrypt to the key of contact KEYID."), tr("KEYID")));
    save.addOption(QCommandLineOption(passwordOption, tr("Encrypt with a password from standard input.")));
    command(QStringLiteral("inbox"),
            tr("List the containers waiting for you, one FILEID<TAB>SIZE<TAB>SENDER line each."), QString(),
            0, 0, &CliApp::listInbox);
    CliCommand& accept
        = command(QStringLiteral("accept"),
                  tr("Download a waiting container, decrypt it and extract it. Prints the folder."),
                  tr("FILEID"), 1, 1, &CliApp::accept);
    accept.addOption(QCommandLineOption(
        toOption, tr("Extract into DIR and remember it (default: the remembered folder)."), tr("DIR")));
    command(QStringLiteral("reject"), tr("Reject a waiting container."), tr("FILEID"), 1, 1, &CliApp::reject);
    CliCommand& open = command(QStringLiteral("open"),
                               tr("Extract a local container. A password is read from the first line of "
                                  "standard input. Prints the folder."),
                               tr("FILE.tsyc"), 1, 1, &CliApp::open);
    open.addOption(
        QCommandLineOption(toOption, tr("Extract into DIR (default: the remembered folder)."), tr("DIR")));
    command(QStringLiteral("history"),
            tr("List the transfers, newest first, after checking their delivery. One "
               "DATETIME<TAB>KEYID<TAB>FILEID<TAB>STATUS<TAB>SIZE line each."),
            QString(), 0, 0, &CliApp::showHistory);
}

CliApp::~CliApp() = default;

int CliApp::run(const QStringList& arguments)
{
    const QStringList words = arguments.mid(1);
    if (words.isEmpty())
        return usageError(tr("No command given."), nullptr);
    const QString name = words.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        printLine(usage());
        return Success;
    }
    if (name == QLatin1String("--version")) {
        printLine(QStringLiteral("tessary-cli " TESSARY_VERSION));
        return Success;
    }
    for (Entry& entry : m_commands) {
        if (entry.command.name() != name)
            continue;
        QString error;
        if (!entry.command.parse(words.mid(1), &error))
            return usageError(error, &entry.command);
        if (entry.command.helpRequested()) {
            Terminal::write(Terminal::StandardOutput, entry.command.helpText());
            return Success;
        }
        return execute(entry);
    }
    return usageError(tr("Unknown command \"%1\".").arg(name), nullptr);
}

int CliApp::execute(const Entry& entry)
{
    // The start-up of the window, without what only a window needs (style, updater, start at logon).
    Startup::setApplicationNames();
    Startup::prepareDataDir();
    const QString lockPath = Startup::dataDirPath() + QStringLiteral("/run.lock");
    QLockFile lock(lockPath);
    if (!Startup::acquireLock(lock)) {
        printError(tr("Another instance of Tessary is running for this user (lock file %1).")
                       .arg(QDir::toNativeSeparators(lockPath)));
        return AlreadyRunning;
    }
    // main() has installed the translation already; the first run stores the language as the
    // window's first start does.
    {
        QSettings settings;
        Startup::ensureLocale(settings);
        Startup::ensureUid(settings);
    }
    if (!QSslSocket::supportsSsl()) {
        printError(QObject::tr("SSL not supported, exiting"));
        return Failure;
    }
    QString error;
    if (!loadServerConfig(&error)) {
        printError(error);
        return Failure;
    }
    initGpgCommandPrefix();
    if (!Startup::openDatabase(&error)) {
        printError(QObject::tr("Cannot open database") + QStringLiteral(": ") + error);
        return Failure;
    }
    Startup::createTables();
    Startup::seedRandom();

    Terminal terminal;
    connect(&terminal, &Terminal::interrupted, this, &CliApp::interrupt);
    ProgressBar progress(Terminal::isTerminal(Terminal::StandardError));
    CliPrompter prompter([this](const QString& text) { printWarning(text); });
    m_progress = &progress;
    m_prompter = &prompter;

    const int code = (this->*entry.handler)(entry.command);

    m_progress = nullptr;
    m_prompter = nullptr;
    progress.clear();
    QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false).close();
    return code;
}

int CliApp::showId(const CliCommand&)
{
    PrivKeysModel keys;
    bool failed = false;
    connect(&keys, &PrivKeysModel::error, this, [&](const QString& text) {
        failed = true;
        printError(text);
    });

    // First start, as on the first-start page: generate, then register the public key.
    if (keys.rowCount() == 0) {
        // The generation reports nothing at all when gpg cannot be started.
        if (QStandardPaths::findExecutable(QStringLiteral("gpg")).isEmpty()) {
            printError(tr("The program gpg was not found."));
            return Failure;
        }
        bool completed = false;
        QEventLoop loop;
        connect(&keys, &PrivKeysModel::genKeyPairCompleted, &loop, [&] {
            completed = true;
            loop.quit();
        });
        connect(&keys, &PrivKeysModel::error, &loop, &QEventLoop::quit);
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &CliApp::interrupted, &loop, &QEventLoop::quit);
        m_progress->busy(tr("Generating PGP keys"));
        keys.genKeyPair();
        if (!completed && !failed) {
            limit.start(keyGenerationLimitMs);
            loop.exec();
        }
        m_progress->clear();
        if (!completed) {
            if (m_interrupted)
                printError(tr("Canceled"));
            else if (!failed)
                printError(tr("gpg did not finish generating the key pair."));
            return Failure;
        }
    }

    QString keyId = keys.remoteKeyId(0);
    if (keyId.isEmpty()) {
        m_progress->busy(tr("Uploading public PGP key to server"));
        keyId = keys.uploadPublicKey(0);
        m_progress->clear();
        if (keyId.isEmpty()) {
            if (!failed)
                printError(tr("The server did not register the public key."));
            return Failure;
        }
    }
    printLine(keyId);
    return Success;
}

int CliApp::listContacts(const CliCommand&)
{
    PubKeysModel contacts;
    fetchAll(contacts);
    for (int row = 0; row < contacts.rowCount(); ++row) {
        const QSqlRecord record = contacts.record(row);
        printLine(field(record.value(QStringLiteral("remote_key_id"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("key_alias"))));
    }
    return Success;
}

int CliApp::addContact(const CliCommand& command)
{
    const QStringList args = command.arguments();
    PubKeysModel contacts;
    const int printedBefore = m_errorsPrinted;
    connect(&contacts, &PubKeysModel::error, this, &CliApp::printError);
    connect(&contacts, &PubKeysModel::contactError, this, &CliApp::printError);

    // As on the page for adding a contact: attach the key id, then give it the title.
    m_progress->busy(tr("Finding user"));
    const bool added = contacts.addPubKey(args.at(0));
    m_progress->clear();
    if (!added) {
        if (m_errorsPrinted == printedBefore)
            printError(tr("User not found, check ID"));
        return Failure;
    }
    if (args.size() > 1 && !contacts.setKeyTitle(args.at(0), args.at(1))) {
        if (m_errorsPrinted == printedBefore)
            printError(tr("Error while saving contact"));
        return Failure;
    }
    return Success;
}

int CliApp::renameContact(const CliCommand& command)
{
    const QStringList args = command.arguments();
    PubKeysModel contacts;
    if (contactRow(contacts, args.at(0)) < 0) {
        printError(tr("No contact with the key id %1.").arg(args.at(0)));
        return Failure;
    }
    const int printedBefore = m_errorsPrinted;
    connect(&contacts, &PubKeysModel::error, this, &CliApp::printError);
    if (!contacts.setKeyTitle(args.at(0), args.at(1))) {
        if (m_errorsPrinted == printedBefore)
            printError(tr("Error while saving contact"));
        return Failure;
    }
    return Success;
}

int CliApp::removeContact(const CliCommand& command)
{
    const QString keyId = command.arguments().at(0);
    PubKeysModel contacts;
    const int row = contactRow(contacts, keyId);
    if (row < 0) {
        printError(tr("No contact with the key id %1.").arg(keyId));
        return Failure;
    }
    if (!contacts.deletePubKey(row)) {
        printError(tr("Cannot delete the contact %1.").arg(keyId));
        return Failure;
    }
    return Success;
}

int CliApp::send(const CliCommand& command)
{
    QStringList args = command.arguments();
    const QString keyId = PubKeysModel::normalizeKeyId(args.takeFirst());
    const QVariantMap files = shareList(args);
    if (files.isEmpty())
        return Failure;

    // As on the sharing page: fetch the contact's current key, send to its fingerprint, and record
    // the transfer as waiting for delivery when the server has taken it.
    PubKeysModel contacts;
    const QString fpr = downloadKey(contacts, keyId);
    if (fpr.isEmpty())
        return Failure;
    FileEventsModel events;
    ContainerManager manager(nullptr, m_prompter);
    QString sentId;
    const bool sent
        = share(manager, QString(), files, 1, fpr, [&](const QString& fileId, qlonglong fileSize) {
              sentId = fileId;
              events.addEvent(keyId, fileId.toInt(), fileSize, FileEventsModel::WaitDeliver);
          });
    if (!sent)
        return Failure;
    printLine(sentId);
    return Success;
}

int CliApp::save(const CliCommand& command)
{
    const bool toKey = command.isSet(toOption);
    if (toKey == command.isSet(passwordOption)) {
        return usageError(tr("Give either --to KEYID or --password."), &command);
    }
    QStringList args = command.arguments();
    const QString containerPath = QFileInfo(args.takeFirst()).absoluteFilePath();
    const QVariantMap files = shareList(args);
    if (files.isEmpty())
        return Failure;

    QString secret;
    if (toKey) {
        PubKeysModel contacts;
        secret = downloadKey(contacts, command.value(toOption));
        if (secret.isEmpty())
            return Failure;
    } else {
        bool ok = false;
        secret = m_prompter->password(tr("Enter password"), &ok);
        if (!ok || secret.isEmpty()) {
            printError(tr("No password given: the first line of standard input is empty."));
            return Failure;
        }
    }
    ContainerManager manager(nullptr, m_prompter);
    return share(manager, containerPath, files, toKey ? 1 : 2, secret, nullptr) ? Success : Failure;
}

int CliApp::listInbox(const CliCommand&)
{
    ContainerManager manager(nullptr, m_prompter);
    m_progress->busy(tr("Checking for new files"));
    bool answered = false;
    const QVariantList waiting = manager.fetchNewFiles(&answered);
    m_progress->clear();
    if (!answered) {
        printError(tr("Cannot get server response"));
        return Failure;
    }
    PubKeysModel contacts;
    for (const QVariant& item : waiting) {
        const QVariantMap file = item.toMap();
        const QString uploader = file.value(QStringLiteral("uploaderKeyId")).toString();
        const QString title = contacts.contactTitle(uploader);
        printLine(field(fileIdText(file.value(QStringLiteral("fileId")))) + QLatin1Char('\t')
                  + QString::number(file.value(QStringLiteral("fileSize")).toLongLong()) + QLatin1Char('\t')
                  + field(title.isEmpty() ? uploader : title));
    }
    return Success;
}

int CliApp::accept(const CliCommand& command)
{
    const QString fileId = command.arguments().at(0).trimmed();
    ContainerManager manager(nullptr, m_prompter);
    const QVariantMap file = findWaiting(manager, fileId);
    if (file.isEmpty())
        return Failure;
    const QString folder = extractFolder(manager, command);
    if (folder.isEmpty())
        return Failure;
    // The download page keeps the chosen folder; the manager extracts into the stored one.
    QSettings settings;
    settings.setValue(extractPathKey, folder);
    settings.sync();

    const QString uploader = file.value(QStringLiteral("uploaderKeyId")).toString();
    const qlonglong fileSize = file.value(QStringLiteral("fileSize")).toLongLong();
    FileEventsModel events;
    bool received = false;
    // Only a good extraction makes downloadById clear the file on the server, and the manager's
    // own reaction to serverClear sends cleared() before any later listener of serverClear runs.
    connect(&manager, &ContainerManager::cleared, this, [&] {
        if (received)
            return;
        received = true;
        events.addEvent(uploader, fileId.toInt(), fileSize, FileEventsModel::Received);
    });
    const bool done = runFollowed(
        manager,
        [&] {
            manager.downloadById(fileId);
            return received;
        },
        tr("The container was downloaded but not extracted."));
    if (!done)
        return Failure;
    printLine(QDir::toNativeSeparators(folder));
    return Success;
}

int CliApp::reject(const CliCommand& command)
{
    const QString fileId = command.arguments().at(0).trimmed();
    ContainerManager manager(nullptr, m_prompter);
    if (findWaiting(manager, fileId).isEmpty())
        return Failure;
    bool cleared = false;
    connect(&manager, &ContainerManager::cleared, this, [&] { cleared = true; });
    // As the download page does: the signal makes the manager tell the server.
    m_progress->busy(tr("Clear data on server..."));
    emit manager.serverClear(fileId, true);
    m_progress->clear();
    if (!cleared) {
        printError(tr("The server was not told about the rejection."));
        return Failure;
    }
    return Success;
}

int CliApp::open(const CliCommand& command)
{
    const QString containerPath = QFileInfo(command.arguments().at(0)).absoluteFilePath();
    ContainerManager manager(nullptr, m_prompter);
    const QString folder = extractFolder(manager, command);
    if (folder.isEmpty())
        return Failure;

    // The manager extracts into the stored folder. A local container is not a transfer the download
    // page would remember a folder for, so the previous setting comes back afterwards.
    QSettings settings;
    const QVariant previous = settings.value(extractPathKey);
    settings.setValue(extractPathKey, folder);
    settings.sync();
    const bool extracted = runFollowed(
        manager, [&] { return manager.extractContainer(containerPath); },
        tr("No password given: the first line of standard input is empty."));
    if (previous.isNull())
        settings.remove(extractPathKey);
    else
        settings.setValue(extractPathKey, previous);
    settings.sync();

    if (!extracted)
        return Failure;
    printLine(QDir::toNativeSeparators(folder));
    return Success;
}

int CliApp::showHistory(const CliCommand&)
{
    FileEventsModel events;
    // As the events tab does when it appears: ask the server about everything still waiting.
    m_progress->busy(tr("Checking deliveries"));
    events.checkDelivered();
    m_progress->clear();
    fetchAll(events);
    const QMetaEnum statuses = QMetaEnum::fromType<FileEventsModel::Status>();
    for (int row = 0; row < events.rowCount(); ++row) {
        const QSqlRecord record = events.record(row);
        const char* status = statuses.valueToKey(record.value(QStringLiteral("status")).toInt());
        printLine(field(record.value(QStringLiteral("datetime"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("remote_key_id"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("file_id"))) + QLatin1Char('\t')
                  + (status ? QString::fromLatin1(status) : field(record.value(QStringLiteral("status"))))
                  + QLatin1Char('\t') + field(record.value(QStringLiteral("size"))));
    }
    return Success;
}

QVariantMap CliApp::shareList(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            printError(tr("No such file or folder: %1").arg(path));
            return {};
        }
        urls << QUrl::fromLocalFile(info.absoluteFilePath());
    }
    ShareFilesModel model(nullptr, m_prompter);
    model.addFiles(urls);
    const QVariantMap files = model.fileList();
    if (files.isEmpty())
        printError(tr("Nothing to send: the folders hold no files."));
    return files;
}

QString CliApp::downloadKey(PubKeysModel& contacts, const QString& keyId)
{
    QString fpr;
    const int printedBefore = m_errorsPrinted;
    QMetaObject::Connection onError = connect(&contacts, &PubKeysModel::error, this, &CliApp::printError);
    QMetaObject::Connection onKey
        = connect(&contacts, &PubKeysModel::keyDownloaded, this, [&](const QString& key) { fpr = key; });
    m_progress->busy(tr("Getting public PGP key from server"));
    contacts.downloadPubKey(keyId);
    m_progress->clear();
    disconnect(onError);
    disconnect(onKey);
    if (m_interrupted) {
        printError(tr("Canceled"));
        return QString();
    }
    if (fpr.isEmpty() && m_errorsPrinted == printedBefore)
        printError(tr("The key of %1 was not downloaded.").arg(keyId));
    return fpr;
}

bool CliApp::share(ContainerManager& manager, const QString& containerPath, const QVariantMap& files,
                   int cryptMethod, const QString& secret,
                   const std::function<void(const QString&, qlonglong)>& onSuccess)
{
    bool succeeded = false;
    connect(&manager, &ContainerManager::success, this, [&](const QString& fileId, qlonglong fileSize) {
        succeeded = true;
        if (onSuccess)
            onSuccess(fileId, fileSize);
    });
    return runFollowed(
        manager,
        [&] {
            manager.shareContainer(containerPath, files, cryptMethod, secret);
            return succeeded;
        },
        containerPath.isEmpty() ? tr("The upload ended without a file id from the server.")
                                : tr("The container was not saved."));
}

bool CliApp::runFollowed(ContainerManager& manager, const std::function<bool()>& operation,
                         const QString& silentFailure)
{
    const int printedBefore = m_errorsPrinted;
    follow(manager);
    m_running = &manager;
    const bool succeeded = operation();
    m_running = nullptr;
    m_progress->clear();
    if (succeeded)
        return true;
    // Some operations end without a word (the interface would show nothing); the command never does.
    if (m_interrupted)
        printError(tr("Canceled"));
    else if (m_errorsPrinted == printedBefore)
        printError(silentFailure);
    return false;
}

QVariantMap CliApp::findWaiting(ContainerManager& manager, const QString& fileId)
{
    m_progress->busy(tr("Checking for new files"));
    bool answered = false;
    const QVariantList waiting = manager.fetchNewFiles(&answered);
    m_progress->clear();
    if (!answered) {
        printError(tr("Cannot get server response"));
        return {};
    }
    for (const QVariant& item : waiting) {
        const QVariantMap file = item.toMap();
        if (fileIdText(file.value(QStringLiteral("fileId"))) == fileId)
            return file;
    }
    printError(tr("No container %1 is waiting for you.").arg(fileId));
    return {};
}

QString CliApp::extractFolder(ContainerManager& manager, const CliCommand& command)
{
    QString folder;
    if (command.isSet(toOption)) {
        folder = QDir::cleanPath(QFileInfo(command.value(toOption)).absoluteFilePath());
        QDir().mkpath(folder);
    } else {
        folder = QSettings().value(extractPathKey).toString();
        if (folder.isEmpty())
            folder = manager.defaultExtractPath();
    }
    if (!manager.isDirWritable(folder)) {
        printError(tr("Directory %1 is not writable").arg(QDir::toNativeSeparators(folder)));
        return QString();
    }
    return folder;
}

void CliApp::follow(ContainerManager& manager)
{
    connect(&manager, &ContainerManager::error, this, &CliApp::printError);
    connect(&manager, &ContainerManager::warn, this, &CliApp::printWarning);
    m_progress->attach(&manager);
}

int CliApp::contactRow(PubKeysModel& contacts, const QString& keyId)
{
    const QString digits = PubKeysModel::normalizeKeyId(keyId);
    fetchAll(contacts);
    for (int row = 0; row < contacts.rowCount(); ++row) {
        if (contacts.record(row).value(QStringLiteral("remote_key_id")).toString() == digits)
            return row;
    }
    return -1;
}

void CliApp::interrupt()
{
    m_interrupted = true;
    // A running transfer stops through the manager, which cleans up after itself; a call to the
    // server that is waiting ends on its own and the command then stops.
    if (m_running)
        m_running->cancel();
    emit interrupted();
}

void CliApp::printLine(const QString& text)
{
    if (m_progress)
        m_progress->clear();
    Terminal::write(Terminal::StandardOutput, text + QLatin1Char('\n'));
}

bool CliApp::repeatsCancel(const QString& text) const
{
    // The manager's own (untranslated) cancel warning and the command's closing word say the same.
    const auto isCancel
        = [this](const QString& t) { return t == QLatin1String("Canceled") || t == tr("Canceled"); };
    return isCancel(text) && isCancel(m_lastError);
}

void CliApp::printError(const QString& text)
{
    if (repeatsCancel(text))
        return;
    m_lastError = text;
    ++m_errorsPrinted;
    if (m_progress)
        m_progress->clear();
    Terminal::write(Terminal::StandardError, text + QLatin1Char('\n'));
}

void CliApp::printWarning(const QString& text)
{
    if (repeatsCancel(text))
        return;
    m_lastError = text;
    if (m_progress)
        m_progress->clear();
    Terminal::write(Terminal::StandardError, text + QLatin1Char('\n'));
}

int CliApp::usageError(const QString& error, const CliCommand* command)
{
    Terminal::write(Terminal::StandardError,
                    QStringLiteral("tessary-cli: ") + error + QStringLiteral("\n\n")
                        + (command ? command->helpText() : usage() + QLatin1Char('\n')));
    return UsageError;
}

QString CliApp::usage() const
{
    QString text = tr("Usage: tessary-cli COMMAND [options] [arguments]") + QStringLiteral("\n\n")
        + tr("Exchange end-to-end encrypted files through the Tessary server.") + QStringLiteral("\n\n")
        + tr("Commands:") + QLatin1Char('\n');
    // The list shows each command's first sentence; its own --help has the rest. Chinese sentences
    // end in a full-width stop without a blank.
    static const QRegularExpression sentenceEnd(QStringLiteral("\\. |\u3002(?=.)"));
    const QString prefix = QStringLiteral("tessary-cli ");
    int width = 0;
    for (const Entry& entry : m_commands)
        width = qMax(width, entry.command.usageLine().size() - prefix.size());
    for (const Entry& entry : m_commands) {
        const QString summary = entry.command.summary();
        const int end = sentenceEnd.match(summary).capturedStart();
        text += QStringLiteral("  ") + entry.command.usageLine().mid(prefix.size()).leftJustified(width + 2)
            + (end < 0 ? summary : summary.left(end + 1)) + QLatin1Char('\n');
    }
    text += QLatin1Char('\n') + tr("Run \"tessary-cli COMMAND --help\" for the options of a command.")
        + QLatin1Char('\n')
        + tr("Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another instance runs.");
    return text;
}

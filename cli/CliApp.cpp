#include "cli/CliApp.h"

#include "app/AppSettings.h"
#include "app/FirstStartJob.h"
#include "app/Startup.h"
#include "cli/CliPrompter.h"
#include "cli/ProgressBar.h"
#include "cli/Terminal.h"
#include "containers/DownloadJob.h"
#include "containers/OpenJob.h"
#include "containers/ReceiveJob.h"
#include "containers/RejectJob.h"
#include "containers/SaveJob.h"
#include "containers/SendJob.h"
#include "containers/UploadJob.h"
#include "models/ContactKeys.h"
#include "models/FileEventsModel.h"
#include "models/PubKeysModel.h"
#include "models/ShareFilesModel.h"
#include "models/UnfinishedUploadsModel.h"
#include "net/RelayClient.h"
#include "net/ServerConfig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMetaEnum>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlRecord>
#include <QSslSocket>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace {

const QString toOption = QStringLiteral("to");
const QString passwordOption = QStringLiteral("password");
const QString yesOption = QStringLiteral("yes");
const QString filesOption = QStringLiteral("files");
const QString extractPathKey = QStringLiteral("extractPath");
constexpr int pendingCallsMs = 5000;

// One record per line: whatever a field holds from outside prints on its line.
QString field(const QVariant& value)
{
    return Terminal::printable(value.toString());
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
    , m_relay(new RelayClient(this))
{
    auto command = [this](const QString& name, const QString& summary, const QString& syntax, int min,
                          int max, Handler handler) -> CliCommand& {
        m_commands.push_back({CliCommand(name, summary, syntax, min, max), handler});
        return m_commands.back().command;
    };
    command(QStringLiteral("id"),
            tr("Print your own key id. The first time, generate the key pair and register it."), QString(), 0,
            0, &CliApp::showId);
    command(QStringLiteral("contacts"),
            tr("List the contacts, one KEYID<TAB>TITLE<TAB>verified|unverified line each."), QString(), 0, 0,
            &CliApp::listContacts);
    command(QStringLiteral("add"), tr("Add a contact by key id, optionally with a title."),
            tr("KEYID [TITLE]"), 1, 2, &CliApp::addContact);
    command(QStringLiteral("rename"), tr("Change the title of a contact."), tr("KEYID TITLE"), 2, 2,
            &CliApp::renameContact);
    command(QStringLiteral("remove"), tr("Remove a contact from this computer."), tr("KEYID"), 1, 1,
            &CliApp::removeContact);
    command(
        QStringLiteral("fingerprint"),
        tr("Print your own key's fingerprint, or a contact's with the safety number you both see. Compare "
           "it with the contact in person or on the phone."),
        tr("[KEYID]"), 0, 1, &CliApp::showFingerprint);
    command(QStringLiteral("verify"),
            tr("Mark a contact as verified, once you have compared the safety number with them."),
            tr("KEYID"), 1, 1, &CliApp::verifyContact);
    command(QStringLiteral("accept-key"),
            tr("Accept the new key of a contact whose key has changed. The contact is not verified then."),
            tr("KEYID FINGERPRINT"), 2, 2, &CliApp::acceptKey);
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
    CliCommand& reject
        = command(QStringLiteral("reject"), tr("Reject a waiting container. Asks first on a terminal."),
                  tr("FILEID"), 1, 1, &CliApp::reject);
    reject.addOption(QCommandLineOption(yesOption, tr("Reject without asking.")));
    CliCommand& open = command(QStringLiteral("open"),
                               tr("Extract a local container. A password is read from the first line of "
                                  "standard input. Prints the folder."),
                               tr("FILE.tsyc"), 1, 1, &CliApp::open);
    open.addOption(
        QCommandLineOption(toOption, tr("Extract into DIR (default: the remembered folder)."), tr("DIR")));
    command(QStringLiteral("uploads"),
            tr("List the uploads that were begun and not finished, one ID<TAB>DATETIME<TAB>KEYID<TAB>SIZE "
               "line each."),
            QString(), 0, 0, &CliApp::listUploads);
    command(QStringLiteral("resume"),
            tr("Continue an unfinished upload from where it stopped. Prints the server's file id."), tr("ID"),
            1, 1, &CliApp::resumeUpload);
    command(QStringLiteral("drop"),
            tr("Give up an unfinished upload: the server forgets it and its container is deleted."), tr("ID"),
            1, 1, &CliApp::dropUpload);
    CliCommand& history = command(QStringLiteral("history"),
                                  tr("List the transfers, newest first, after checking their delivery. One "
                                     "DATETIME<TAB>KEYID<TAB>FILEID<TAB>STATUS<TAB>SIZE<TAB>SIGNATURE line "
                                     "each; SIGNATURE says who signed a received container."),
                                  QString(), 0, 0, &CliApp::showHistory);
    history.addOption(QCommandLineOption(
        filesOption, tr("Under each transfer, its files: one <TAB>SIZE<TAB>NAME line each.")));
}

CliApp::~CliApp() = default;

void CliApp::setStreams(QIODevice* in, QIODevice* out, QIODevice* err)
{
    m_in = in;
    m_out = out;
    m_err = err;
}

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
            write(m_out, Terminal::StandardOutput, entry.command.helpText());
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
    Startup::removeLeftovers();
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
    if (!Startup::openDatabase(&error)) {
        printError(QObject::tr("Cannot open database") + QStringLiteral(": ") + error);
        return Failure;
    }
    Startup::createTables();
    Startup::seedRandom();

    Terminal terminal;
    connect(&terminal, &Terminal::interrupted, this, &CliApp::interrupt);
    ProgressBar progress(Terminal::isTerminal(Terminal::StandardError));
    CliPrompter prompter([this](const QString& text) { printWarning(text); }, m_in);
    m_progress = &progress;
    m_prompter = &prompter;
    m_interrupted = false;

    const int code = (this->*entry.handler)(entry.command);
    // What a command leaves to the relay on its way out (an upload given up) may finish first.
    QList<QPointer<RelayCall>> calls;
    for (RelayCall* call : m_relay->findChildren<RelayCall*>())
        calls << call;
    QDeadlineTimer deadline(pendingCallsMs);
    while (std::any_of(calls.begin(), calls.end(),
                       [](const QPointer<RelayCall>& call) { return call && !call->hasEnded(); })
           && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);

    m_progress = nullptr;
    m_prompter = nullptr;
    progress.clear();
    return code;
}

void CliApp::stopWaiting()
{
    m_waitOver = true;
    m_loop.quit();
}

bool CliApp::wait()
{
    // What is waited for may also have come already.
    while (!m_waitOver && !m_interrupted)
        m_loop.exec();
    m_waitOver = false;
    if (m_progress)
        m_progress->clear();
    if (m_interrupted)
        printError(tr("Canceled"));
    return !m_interrupted;
}

bool CliApp::runJob(Job& job)
{
    bool succeeded = true;
    connect(&job, &Job::failed, this, [&](const QString& text) {
        succeeded = false;
        printError(text);
        m_loop.quit();
    });
    connect(&job, &Job::cancelled, this, [&] {
        succeeded = false;
        m_loop.quit();
    });
    connect(&job, &Job::warning, this, &CliApp::printWarning);
    // The success signal of each kind of job carries its own result, which the caller takes.
    const QMetaObject* meta = job.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Signal && meta->method(i).name() == "succeeded")
            connect(&job, meta->method(i), &m_loop,
                    m_loop.metaObject()->method(m_loop.metaObject()->indexOfSlot("quit()")));
    }
    m_progress->attach(&job);
    m_running = &job;
    job.start();
    while (job.isRunning())
        m_loop.exec();
    m_running = nullptr;
    m_progress->clear();
    if (m_interrupted)
        printError(tr("Canceled"));
    return succeeded && !m_interrupted;
}

int CliApp::showId(const CliCommand&)
{
    FirstStartJob job(m_relay);
    QString keyId;
    connect(&job, &FirstStartJob::succeeded, this, [&](const QString& id) { keyId = id; });
    if (!runJob(job))
        return Failure;
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
                  + field(record.value(QStringLiteral("key_alias"))) + QLatin1Char('\t')
                  + (record.value(QStringLiteral("verified")).toInt() == 1 ? QStringLiteral("verified")
                                                                           : QStringLiteral("unverified")));
    }
    return Success;
}

int CliApp::addContact(const CliCommand& command)
{
    const QStringList args = command.arguments();
    PubKeysModel contacts;
    bool added = false;
    connect(&contacts, &PubKeysModel::error, this, &CliApp::printError);
    connect(&contacts, &PubKeysModel::contactError, this, &CliApp::printError);
    connect(&contacts, &PubKeysModel::contactError, this, &CliApp::stopWaiting);
    connect(&contacts, &PubKeysModel::contactNotFound, this, &CliApp::stopWaiting);
    connect(&contacts, &PubKeysModel::contactAdded, this, [&] {
        added = true;
        stopWaiting();
    });
    // As on the page for adding a contact: attach the key id, then give it the title.
    m_progress->busy(tr("Finding user"));
    contacts.addPubKey(args.at(0));
    if (!wait() || !added)
        return Failure;
    return args.size() > 1 ? setTitle(contacts, args.at(0), args.at(1)) : Success;
}

int CliApp::renameContact(const CliCommand& command)
{
    const QStringList args = command.arguments();
    PubKeysModel contacts;
    if (contactRow(contacts, args.at(0)) < 0) {
        printError(tr("No contact with the key id %1.").arg(args.at(0)));
        return Failure;
    }
    connect(&contacts, &PubKeysModel::error, this, &CliApp::printError);
    return setTitle(contacts, args.at(0), args.at(1));
}

int CliApp::setTitle(PubKeysModel& contacts, const QString& keyId, const QString& title)
{
    bool saved = false;
    connect(&contacts, &PubKeysModel::error, this, &CliApp::stopWaiting);
    connect(&contacts, &PubKeysModel::keyTitleSet, this, [&] {
        saved = true;
        stopWaiting();
    });
    contacts.setKeyTitle(keyId, title);
    return wait() && saved ? Success : Failure;
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

int CliApp::showFingerprint(const CliCommand& command)
{
    if (command.arguments().isEmpty()) {
        const QString own = ContactKeys::ownFingerprint();
        if (own.isEmpty()) {
            printError(tr("You have no key yet: \"tessary-cli id\" makes it."));
            return Failure;
        }
        printLine(ContactKeys::grouped(own));
        return Success;
    }
    const QString keyId = RelayClient::normalizeKeyId(command.arguments().at(0));
    PubKeysModel contacts;
    const QVariantMap key = contacts.keyDetails(keyId);
    if (contactRow(contacts, keyId) < 0 || key.value(QStringLiteral("fingerprint")).toString().isEmpty()) {
        printError(tr("No key is pinned for %1 yet.").arg(keyId));
        return Failure;
    }
    printLine(tr("Fingerprint: %1").arg(key.value(QStringLiteral("fingerprint")).toString()));
    printLine(tr("Safety number: %1").arg(key.value(QStringLiteral("safetyNumber")).toString()));
    printLine(key.value(QStringLiteral("trust")).toString());
    return Success;
}

int CliApp::verifyContact(const CliCommand& command)
{
    const QString keyId = RelayClient::normalizeKeyId(command.arguments().at(0));
    PubKeysModel contacts;
    if (contactRow(contacts, keyId) < 0 || !contacts.setVerified(keyId, true)) {
        printError(tr("No key is pinned for %1 yet.").arg(keyId));
        return Failure;
    }
    return Success;
}

int CliApp::acceptKey(const CliCommand& command)
{
    const QStringList args = command.arguments();
    PubKeysModel contacts;
    bool accepted = false;
    connect(&contacts, &PubKeysModel::error, this, [&](const QString& text) {
        printError(text);
        stopWaiting();
    });
    connect(&contacts, &PubKeysModel::keyAccepted, this, [&] {
        accepted = true;
        stopWaiting();
    });
    m_progress->busy(tr("Getting public PGP key from server"));
    contacts.acceptKey(args.at(0), args.at(1));
    return wait() && accepted ? Success : Failure;
}

int CliApp::send(const CliCommand& command)
{
    QStringList args = command.arguments();
    const QString keyId = RelayClient::normalizeKeyId(args.takeFirst());
    const QVariantMap files = shareList(args);
    if (files.isEmpty())
        return Failure;
    SendJob job(m_relay, files, keyId);
    QString fileId, offered;
    connect(&job, &SendJob::succeeded, this, [&](const QString& id) { fileId = id; });
    connect(&job, &SendJob::keyChanged, this,
            [&](const QString&, const QString&, const QString& key) { offered = key; });
    if (!runJob(job)) {
        if (!offered.isEmpty())
            printError(tr("To accept the new key: tessary-cli accept-key %1 %2").arg(keyId, offered));
        return Failure;
    }
    printLine(fileId);
    return Success;
}

int CliApp::save(const CliCommand& command)
{
    const bool toKey = command.isSet(toOption);
    if (toKey == command.isSet(passwordOption))
        return usageError(tr("Give either --to KEYID or --password."), &command);
    QStringList args = command.arguments();
    const QString containerPath = QFileInfo(args.takeFirst()).absoluteFilePath();
    const QVariantMap files = shareList(args);
    if (files.isEmpty())
        return Failure;
    QString password;
    if (!toKey && (password = readPassword()).isEmpty())
        return Failure;
    SaveJob job(containerPath, files, 2, password);
    if (toKey)
        job.setContact(m_relay, command.value(toOption));
    return runJob(job) ? Success : Failure;
}

int CliApp::listInbox(const CliCommand&)
{
    bool answered = false;
    const QVariantList waiting = inbox(&answered);
    if (!answered)
        return Failure;
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
    const QVariantMap file = findWaiting(fileId);
    if (file.isEmpty())
        return Failure;
    const QString folder = extractFolder(command);
    if (folder.isEmpty())
        return Failure;
    // The folder given is the one to use from now on, as on the download page.
    if (command.isSet(toOption))
        QSettings().setValue(extractPathKey, folder);
    ReceiveJob job(m_relay, fileId, file.value(QStringLiteral("fileSize")).toLongLong(),
                   file.value(QStringLiteral("uploaderKeyId")).toString(), folder,
                   AppSettings::existingFiles());
    connect(&job, &ReceiveJob::succeeded, this, &CliApp::printArrival);
    if (!runJob(job))
        return Failure;
    printWarning(job.signatureText());
    printLine(QDir::toNativeSeparators(folder));
    return Success;
}

int CliApp::reject(const CliCommand& command)
{
    const QString fileId = command.arguments().at(0).trimmed();
    const QVariantMap file = findWaiting(fileId);
    if (file.isEmpty())
        return Failure;
    const QString sender = file.value(QStringLiteral("uploaderKeyId")).toString();
    const qint64 size = file.value(QStringLiteral("fileSize")).toLongLong();
    if (!command.isSet(yesOption)
        && !m_prompter->confirm(
            RejectJob::questionTitle(),
            RejectJob::question(PubKeysModel::displayName(sender), AppSettings::sizeText(size)),
            RejectJob::questionAction())) {
        printError(tr("Nothing was rejected. Give --yes to reject without being asked."));
        return Failure;
    }
    RejectJob job(m_relay, fileId, size, sender);
    m_progress->busy(tr("Clear data on server..."));
    return runJob(job) ? Success : Failure;
}

int CliApp::open(const CliCommand& command)
{
    const QString containerPath = QFileInfo(command.arguments().at(0)).absoluteFilePath();
    const QString folder = extractFolder(command);
    if (folder.isEmpty())
        return Failure;
    QString password;
    if (OpenJob::needsPassword(containerPath) && (password = readPassword()).isEmpty())
        return Failure;
    OpenJob job(containerPath, folder, AppSettings::existingFiles(), password);
    connect(&job, &OpenJob::succeeded, this, &CliApp::printArrival);
    if (!runJob(job))
        return Failure;
    printWarning(job.signatureText());
    printLine(QDir::toNativeSeparators(folder));
    return Success;
}

int CliApp::showHistory(const CliCommand& command)
{
    FileEventsModel events;
    // As the events tab does when it appears: ask the server about everything still waiting.
    connect(&events, &FileEventsModel::deliveryChecked, this, &CliApp::stopWaiting);
    m_progress->busy(tr("Checking deliveries"));
    events.checkDelivered();
    if (!wait())
        return Failure;
    fetchAll(events);
    const QMetaEnum statuses = QMetaEnum::fromType<FileEventsModel::Status>();
    for (int row = 0; row < events.rowCount(); ++row) {
        const QSqlRecord record = events.record(row);
        const char* status = statuses.valueToKey(record.value(QStringLiteral("status")).toInt());
        printLine(field(record.value(QStringLiteral("datetime"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("remote_key_id"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("file_id"))) + QLatin1Char('\t')
                  + (status ? QString::fromLatin1(status) : field(record.value(QStringLiteral("status"))))
                  + QLatin1Char('\t') + field(record.value(QStringLiteral("size"))) + QLatin1Char('\t')
                  + field(events.data(events.index(row, 0), events.signatureRole())));
        if (!command.isSet(filesOption))
            continue;
        const QVariantList files = events.files(row);
        for (const QVariant& item : files) {
            const QVariantMap file = item.toMap();
            printLine(QLatin1Char('\t') + QString::number(file.value(QStringLiteral("size")).toLongLong())
                      + QLatin1Char('\t') + field(file.value(QStringLiteral("name"))));
        }
    }
    return Success;
}

void CliApp::printArrival(const Arrival& arrival)
{
    for (const ArrivedFile& file : arrival) {
        const QString note = file.note();
        if (!note.isEmpty())
            printWarning(QDir::toNativeSeparators(file.name) + QStringLiteral(": ") + note);
    }
}

int CliApp::listUploads(const CliCommand&)
{
    UnfinishedUploadsModel uploads;
    fetchAll(uploads);
    for (int row = 0; row < uploads.rowCount(); ++row) {
        const QSqlRecord record = uploads.record(row);
        printLine(field(record.value(QStringLiteral("upload_id"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("datetime"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("remote_key_id"))) + QLatin1Char('\t')
                  + field(record.value(QStringLiteral("size"))));
    }
    return Success;
}

int CliApp::resumeUpload(const CliCommand& command)
{
    const qint64 id = uploadId(command);
    if (!id)
        return Failure;
    UploadJob job(m_relay, id);
    QString fileId;
    connect(&job, &UploadJob::succeeded, this, [&](const QString& fileIdText) { fileId = fileIdText; });
    if (!runJob(job))
        return Failure;
    printLine(fileId);
    return Success;
}

int CliApp::dropUpload(const CliCommand& command)
{
    const qint64 id = uploadId(command);
    if (!id)
        return Failure;
    const QString url = UnfinishedUploadsModel::find(id).url;
    UnfinishedUploadsModel::remove(id);
    if (url.isEmpty())
        return Success;
    bool told = false;
    m_progress->busy(tr("Clear data on server..."));
    m_relay->dropUpload(url, this, [&](const RelayClient::Result<bool>& result) {
        told = result.ok();
        stopWaiting();
    });
    // Given up here in any case; what the relay was not told of it lets expire.
    if (wait() && !told)
        printWarning(tr("The server was not told; it deletes the upload by itself later."));
    return Success;
}

qint64 CliApp::uploadId(const CliCommand& command)
{
    const QString text = command.arguments().at(0).trimmed();
    const qint64 id = text.toLongLong();
    if (id <= 0 || !UnfinishedUploadsModel::find(id).id) {
        printError(tr("No unfinished upload %1.").arg(text));
        return 0;
    }
    return id;
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

QString CliApp::readPassword()
{
    bool ok = false;
    const QString password = m_prompter->password(tr("Enter password"), &ok);
    if (!ok || password.isEmpty())
        printError(tr("No password given: the first line of standard input is empty."));
    return ok ? password : QString();
}

QVariantList CliApp::inbox(bool* answered)
{
    QVariantList files;
    m_progress->busy(tr("Checking for new files"));
    m_relay->checkNewFiles(this, [&](const RelayClient::Result<QVariantList>& result) {
        *answered = result.ok();
        if (!result.ok())
            printError(result.error);
        else
            DownloadJob::keepOnly(result.value);
        files = result.value;
        stopWaiting();
    });
    if (!wait())
        *answered = false;
    return files;
}

QVariantMap CliApp::findWaiting(const QString& fileId)
{
    bool answered = false;
    const QVariantList waiting = inbox(&answered);
    if (!answered)
        return {};
    for (const QVariant& item : waiting) {
        const QVariantMap file = item.toMap();
        if (fileIdText(file.value(QStringLiteral("fileId"))) == fileId)
            return file;
    }
    printError(tr("No container %1 is waiting for you.").arg(fileId));
    return {};
}

QString CliApp::extractFolder(const CliCommand& command)
{
    QString folder;
    if (command.isSet(toOption)) {
        folder = QDir::cleanPath(QFileInfo(command.value(toOption)).absoluteFilePath());
        QDir().mkpath(folder);
    } else {
        folder = QSettings().value(extractPathKey).toString();
        if (folder.isEmpty()) {
            folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                + QStringLiteral("/Tessary");
            QDir().mkpath(folder);
        }
    }
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable()) {
        printError(tr("Directory %1 is not writable").arg(QDir::toNativeSeparators(folder)));
        return QString();
    }
    return folder;
}

int CliApp::contactRow(PubKeysModel& contacts, const QString& keyId)
{
    const QString digits = RelayClient::normalizeKeyId(keyId);
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
    // A running job stops and cleans up after itself; a call to the server is left behind.
    if (m_running)
        m_running->cancel();
    m_loop.quit();
}

void CliApp::write(QIODevice* device, Terminal::Stream stream, const QString& text)
{
    if (device)
        device->write(text.toUtf8());
    else
        Terminal::write(stream, text);
}

void CliApp::printLine(const QString& text)
{
    if (m_progress)
        m_progress->clear();
    write(m_out, Terminal::StandardOutput, text + QLatin1Char('\n'));
}

void CliApp::printError(const QString& text)
{
    if (m_progress)
        m_progress->clear();
    write(m_err, Terminal::StandardError, Terminal::printable(text) + QLatin1Char('\n'));
}

void CliApp::printWarning(const QString& text)
{
    printError(text);
}

int CliApp::usageError(const QString& error, const CliCommand* command)
{
    write(m_err, Terminal::StandardError,
          QStringLiteral("tessary-cli: ") + Terminal::printable(error) + QStringLiteral("\n\n")
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

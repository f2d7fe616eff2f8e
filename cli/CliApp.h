#pragma once

#include "cli/CliCommand.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <vector>

class CliPrompter;
class ContainerManager;
class ProgressBar;
class PubKeysModel;

// The command-line front end. Each command drives the same native objects, with the same calls in
// the same order, as the page of the interface that does the same thing; the front end itself only
// parses arguments, prints and waits.
class CliApp : public QObject
{
    Q_OBJECT
public:
    enum ExitCode
    {
        Success = 0,
        Failure = 1,
        UsageError = 2,
        AlreadyRunning = 3
    };

    explicit CliApp(QObject* parent = nullptr);
    ~CliApp() override;

    // arguments as the process got them, the program name first. Returns the exit code.
    int run(const QStringList& arguments);

signals:
    // Ctrl-C was pressed.
    void interrupted();

private:
    using Handler = int (CliApp::*)(const CliCommand&);
    struct Entry
    {
        CliCommand command;
        Handler handler;
    };

    int execute(const Entry& entry);

    int showId(const CliCommand& command);
    int listContacts(const CliCommand& command);
    int addContact(const CliCommand& command);
    int renameContact(const CliCommand& command);
    int removeContact(const CliCommand& command);
    int send(const CliCommand& command);
    int save(const CliCommand& command);
    int listInbox(const CliCommand& command);
    int accept(const CliCommand& command);
    int reject(const CliCommand& command);
    int open(const CliCommand& command);
    int showHistory(const CliCommand& command);

    // The share list for paths from the command line, built like a drop onto the sharing page.
    // Empty, with a message printed, when a path does not exist or nothing is left to send.
    QVariantMap shareList(const QStringList& paths);
    // Downloads the contact's current key; the fingerprint, or empty with the reason printed.
    QString downloadKey(PubKeysModel& contacts, const QString& keyId);
    // Runs shareContainer and waits for its outcome; the server's file id (empty for a local save)
    // is passed to onSuccess while the success signal is delivered. True when success came.
    bool share(ContainerManager& manager, const QString& containerPath, const QVariantMap& files,
               int cryptMethod, const QString& secret,
               const std::function<void(const QString&, qlonglong)>& onSuccess);
    // Runs operation while the manager's progress is shown and Ctrl-C cancels it; on failure makes
    // sure a message was printed (silentFailure when the operation itself said nothing).
    bool runFollowed(ContainerManager& manager, const std::function<bool()>& operation,
                     const QString& silentFailure);
    // The inbox entry of fileId, or an empty map with a message printed.
    QVariantMap findWaiting(ContainerManager& manager, const QString& fileId);
    // The folder to extract into: --to DIR (created when missing), else the stored "extractPath", else
    // the default folder. Empty, with a message printed, when it is not a writable folder.
    QString extractFolder(ContainerManager& manager, const CliCommand& command);
    // Prints what the core said through its signals while the manager works.
    void follow(ContainerManager& manager);
    // Row of the contact with this key id in the model order, or -1.
    int contactRow(PubKeysModel& contacts, const QString& keyId);

    void interrupt();
    void printLine(const QString& text);
    // Messages of failures; the commands count them to know whether the system already said why.
    void printError(const QString& text);
    // Messages that do not stop the operation.
    void printWarning(const QString& text);
    bool repeatsCancel(const QString& text) const;
    // Prints the reason and the usage (of command, or of the program) to standard error.
    int usageError(const QString& error, const CliCommand* command);
    QString usage() const;

    std::vector<Entry> m_commands;
    ProgressBar* m_progress = nullptr;
    CliPrompter* m_prompter = nullptr;
    QPointer<ContainerManager> m_running;
    bool m_interrupted = false;
    int m_errorsPrinted = 0;
    QString m_lastError;
};

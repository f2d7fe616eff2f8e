#pragma once

#include "cli/CliCommand.h"
#include "cli/Terminal.h"
#include "containers/Arrival.h"

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <vector>

class CliPrompter;
class Job;
class ProgressBar;
class PubKeysModel;
class QIODevice;
class RelayClient;

// The command-line front end: parses a command, runs the job or the call to the relay that does
// it, the same ones the window uses, and prints what comes of it. Everything printed that came
// from outside (file names, the relay's texts) is made harmless for a terminal first.
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

    // Where a password is read from and where the output and the messages go; the process's own
    // standard streams when not set.
    void setStreams(QIODevice* in, QIODevice* out, QIODevice* err);
    // The client of the relay that the commands use.
    RelayClient* relay() const { return m_relay; }

    // arguments as the process got them, the program name first. Returns the exit code.
    int run(const QStringList& arguments);

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
    int showFingerprint(const CliCommand& command);
    int verifyContact(const CliCommand& command);
    int acceptKey(const CliCommand& command);
    int send(const CliCommand& command);
    int save(const CliCommand& command);
    int listInbox(const CliCommand& command);
    int accept(const CliCommand& command);
    int reject(const CliCommand& command);
    int open(const CliCommand& command);
    int showHistory(const CliCommand& command);
    int listUploads(const CliCommand& command);
    int resumeUpload(const CliCommand& command);
    int dropUpload(const CliCommand& command);

    // Runs job to its end while its course is shown; true when it succeeded. The caller takes the
    // result from the job's success signal.
    bool runJob(Job& job);
    // Runs the event loop until stopWaiting(); false, after saying so, once Ctrl-C came.
    bool wait();
    void stopWaiting();
    int setTitle(PubKeysModel& contacts, const QString& keyId, const QString& title);
    // The share list for paths from the command line, built like a drop onto the sharing page.
    // Empty, with a message printed, when a path does not exist or nothing is left to send.
    QVariantMap shareList(const QStringList& paths);
    // Says which files were renamed, replaced or skipped on the way into the extraction folder.
    void printArrival(const Arrival& arrival);
    // The first line of the input, or empty after a message.
    QString readPassword();
    // The relay's list of waiting containers; *answered is false after a message.
    QVariantList inbox(bool* answered);
    // The inbox entry of fileId, or an empty map with a message printed.
    QVariantMap findWaiting(const QString& fileId);
    // The folder to extract into: --to DIR (created when missing), else the stored "extractPath", else
    // the default folder. Empty, with a message printed, when it is not a writable folder.
    QString extractFolder(const CliCommand& command);
    // The unfinished upload the command names, or 0 after a message.
    qint64 uploadId(const CliCommand& command);
    // Row of the contact with this key id in the model order, or -1.
    int contactRow(PubKeysModel& contacts, const QString& keyId);

    void interrupt();
    void write(QIODevice* device, Terminal::Stream stream, const QString& text);
    void printLine(const QString& text);
    void printError(const QString& text);
    void printWarning(const QString& text);
    // Prints the reason and the usage (of command, or of the program) to standard error.
    int usageError(const QString& error, const CliCommand* command);
    QString usage() const;

    std::vector<Entry> m_commands;
    RelayClient* m_relay;
    QEventLoop m_loop;
    ProgressBar* m_progress = nullptr;
    CliPrompter* m_prompter = nullptr;
    Job* m_running = nullptr;
    bool m_interrupted = false;
    bool m_waitOver = false;
    QIODevice* m_in = nullptr;
    QIODevice* m_out = nullptr;
    QIODevice* m_err = nullptr;
};

#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QProcess>
#include <QStringList>

#include <functional>

class QSocketNotifier;

// gpg run against the private GnuPG home directory, asynchronously: nothing here waits for it.
// Its pipes are enlarged, so that a stream to or from it moves in large pieces.
class GpgProcess : public QProcess
{
    Q_OBJECT
public:
    struct Result
    {
        bool started = false;
        bool ok = false; // ran to its end with exit code 0
        QByteArray out;
        QByteArray err;
    };
    using Callback = std::function<void(const Result&)>;

    explicit GpgProcess(QObject* parent = nullptr);
    ~GpgProcess() override;

    // gpg reads the passphrase from a descriptor of its own, never from its arguments, which any
    // local user can read. False when it does not fit into the pipe.
    bool setPassphrase(const QByteArray& passphrase);
    // gpg writes its status lines to a descriptor of its own, read as they come; standard output
    // stays free for the data.
    void enableStatus();
    // The status lines so far, without their "[GNUPG:] " prefix; all of them once gpg has ended.
    QByteArrayList statusLines();
    // More status lines came than are kept.
    bool statusOverflow() const { return m_statusOverflow; }

    // Starts gpg --homedir HOME/.tessary2 followed by arguments.
    void start(const QStringList& arguments);
    // True once gpg has exited normally with code 0.
    bool succeeded() const;

    // Runs gpg with input on its standard input and calls done once, when it has ended or after
    // timeoutMs (it is killed then). The process belongs to context and dies with it.
    static void run(const QStringList& arguments, const QByteArray& input, int timeoutMs, QObject* context,
                    Callback done);

protected:
    void setupChildProcess() override;

private:
    void readStatus();
    static void closeFd(int& fd);

    bool m_started = false;
    int m_passphraseRead = -1; // the child's end
    int m_statusWrite = -1; // the child's end
    int m_statusRead = -1;
    QSocketNotifier* m_statusNotifier = nullptr;
    QByteArray m_statusPartial;
    QByteArrayList m_statusLines;
    bool m_statusOverflow = false;
};

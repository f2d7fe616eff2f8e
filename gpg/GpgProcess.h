#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <functional>

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
    bool m_started = false;
};

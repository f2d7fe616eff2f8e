#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// One operation of the client, started and then heard from. It reports its steps, its progress and
// messages that do not stop it, and ends exactly once: with the subclass's succeeded(...) signal
// carrying the result, with failed() carrying a text ready to show, or with cancelled(). Nothing is
// reported from inside start(); the work runs as steps on the event loop (or, where a
// step would block, on a thread of its own) and never waits in a nested event loop.
class Job : public QObject
{
    Q_OBJECT
public:
    enum class Step
    {
        Generating,
        Registering,
        FetchingKey,
        Encrypting,
        Uploading,
        Downloading,
        Decrypting,
        Reporting
    };
    Q_ENUM(Step)

    explicit Job(QObject* parent = nullptr);

    void start();
    // Stops the work; the job ends with cancelled() unless it has ended already.
    void cancel();
    bool isRunning() const { return m_started && !m_ended; }

signals:
    void stepStarted(Job::Step step);
    // A phase measured in total units (0: no measure), named by text or not.
    void progressRange(qint64 total, QString text);
    void progress(qint64 done);
    void info(QString text);
    void warning(QString text);
    void failed(QString text);
    void cancelled();

protected:
    virtual void run() = 0;
    // Called when the job ends early (cancel() or fail()): stops what it started. This one stops
    // the calls, gpg runs and parts that are children of the job.
    virtual void stop();

    // True, and the job is over, unless it has ended already: the subclass then emits its success.
    bool succeed();
    void fail(const QString& text);
    void setProgressRange(qint64 total, const QString& text = QString());
    // At most a few reports a second, and always the last one.
    void setProgress(qint64 done);
    // Passes on what part reports while it runs; its end is for the caller to handle.
    void follow(Job* part);

private:
    bool m_started = false;
    bool m_ended = false;
    qint64 m_total = 0;
    QElapsedTimer m_lastReport;
};

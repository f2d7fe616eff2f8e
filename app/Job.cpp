#include "app/Job.h"

#include "gpg/Crypter.h"
#include "net/RelayCall.h"

#include <QProcess>
#include <QTimer>

namespace {
constexpr int reportIntervalMs = 100;
} // namespace

Job::Job(QObject* parent)
    : QObject(parent)
{
    // Steps also travel through queued connections and signal spies.
    qRegisterMetaType<Job::Step>();
}

void Job::start()
{
    if (m_started)
        return;
    m_started = true;
    QTimer::singleShot(0, this, [this] {
        if (!m_ended)
            run();
    });
}

void Job::cancel()
{
    if (m_ended)
        return;
    m_ended = true;
    if (m_started)
        stop();
    emit cancelled();
}

void Job::stop()
{
    const QObjectList parts = children();
    for (QObject* part : parts) {
        if (auto* job = qobject_cast<Job*>(part))
            job->cancel();
        else if (auto* call = qobject_cast<RelayCall*>(part))
            call->abort();
        else if (auto* crypter = qobject_cast<Crypter*>(part))
            crypter->cancel();
        else if (auto* process = qobject_cast<QProcess*>(part))
            process->kill();
    }
}

bool Job::succeed()
{
    if (m_ended)
        return false;
    m_ended = true;
    return true;
}

void Job::fail(const QString& text)
{
    if (m_ended)
        return;
    m_ended = true;
    stop();
    emit failed(text);
}

void Job::setProgressRange(qint64 total, const QString& text)
{
    m_total = total;
    m_lastReport.invalidate();
    emit progressRange(total, text);
}

void Job::setProgress(qint64 done)
{
    if (done < m_total && m_lastReport.isValid() && m_lastReport.elapsed() < reportIntervalMs)
        return;
    m_lastReport.restart();
    emit progress(done);
}

void Job::follow(Job* part)
{
    connect(part, &Job::stepStarted, this, &Job::stepStarted);
    connect(part, &Job::progressRange, this, &Job::progressRange);
    connect(part, &Job::progress, this, &Job::progress);
    connect(part, &Job::info, this, &Job::info);
    connect(part, &Job::warning, this, &Job::warning);
}

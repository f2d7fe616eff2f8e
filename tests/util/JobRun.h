#pragma once

#include "app/Job.h"

#include <QSignalSpy>
#include <QStringList>
#include <QtTest>

// How a job ended, in a form a test compares at once: "succeeded", "failed: TEXT" or "cancelled",
// with the warnings it gave on the way and the arguments of its success signal.
struct JobRun
{
    QString end;
    QStringList warnings;
    QList<QVariant> result;

    // Starts job and waits (at most timeoutMs) for its end.
    template<typename AJob, typename Signal>
    static JobRun of(AJob& job, Signal succeeded, int timeoutMs = 120000)
    {
        JobRun run;
        QObject scope;
        QSignalSpy success(&job, succeeded);
        QObject::connect(&job, &Job::warning, &scope, [&run](const QString& text) { run.warnings << text; });
        QObject::connect(&job, &Job::failed, &scope,
                         [&run](const QString& text) { run.end = "failed: " + text; });
        QObject::connect(&job, &Job::cancelled, &scope, [&run] { run.end = QStringLiteral("cancelled"); });
        job.start();
        (void)QTest::qWaitFor([&] { return !job.isRunning(); }, timeoutMs);
        if (!success.isEmpty()) {
            run.end = QStringLiteral("succeeded");
            run.result = success.first();
        } else if (run.end.isEmpty()) {
            run.end = QStringLiteral("still running");
        }
        return run;
    }
};

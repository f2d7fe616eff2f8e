#pragma once

#include "net/RelayClient.h"

#include <QObject>
#include <QTimer>

// The pauses of a transfer between the tries after its connection broke: each pause longer than the
// one before, as the relay's retry policy says, until as many tries in a row have moved nothing. A
// try that moved something starts the pauses from the first again.
class RetryTimer : public QObject
{
    Q_OBJECT
public:
    RetryTimer(const RelayClient::RetryPolicy& policy, QObject* parent);

    // Waits the next pause, then emits due(). False when the tries are used up.
    bool schedule();
    // The try under way moved something.
    void progressed() { m_failures = 0; }
    void stop() { m_ticks.stop(); }
    bool isWaiting() const { return m_ticks.isActive(); }
    int secondsLeft() const { return int((m_leftMs + 999) / 1000); }

signals:
    // At the start of a pause and each second after it: the whole seconds still to wait.
    void countdown(int seconds);
    void due();

private:
    void tick();

    RelayClient::RetryPolicy m_policy;
    int m_failures = 0;
    qint64 m_leftMs = 0;
    QTimer m_ticks;
};

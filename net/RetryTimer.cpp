#include "net/RetryTimer.h"

RetryTimer::RetryTimer(const RelayClient::RetryPolicy& policy, QObject* parent)
    : QObject(parent)
    , m_policy(policy)
{
    m_ticks.setSingleShot(true);
    connect(&m_ticks, &QTimer::timeout, this, &RetryTimer::tick);
}

bool RetryTimer::schedule()
{
    if (m_failures >= m_policy.tries || m_policy.pausesMs.isEmpty())
        return false;
    m_leftMs = m_policy.pausesMs.value(m_failures, m_policy.pausesMs.last());
    ++m_failures;
    emit countdown(secondsLeft());
    m_ticks.start(int(qMin<qint64>(m_leftMs, 1000)));
    return true;
}

void RetryTimer::tick()
{
    m_leftMs -= m_ticks.interval();
    if (m_leftMs <= 0)
        return emit due();
    emit countdown(secondsLeft());
    m_ticks.start(int(qMin<qint64>(m_leftMs, 1000)));
}

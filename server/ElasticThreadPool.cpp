#include "ElasticThreadPool.h"

#include <chrono>
#include <thread>

namespace {
constexpr auto idleLifetime = std::chrono::seconds(60);
}

ElasticThreadPool::ElasticThreadPool(int maxThreads)
    : m_maxThreads(maxThreads)
{
}

ElasticThreadPool::~ElasticThreadPool()
{
    shutdown();
}

void ElasticThreadPool::enqueue(std::function<void()> task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tasks.push_back(std::move(task));
    if (m_idle >= int(m_tasks.size()) || m_threads >= m_maxThreads) {
        m_work.notify_one();
        return;
    }
    ++m_threads;
    // Detached: a thread that ends for idleness cannot be joined by anyone; shutdown() waits for
    // the count instead.
    std::thread([this] { work(); }).detach();
}

void ElasticThreadPool::shutdown()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_work.notify_all();
    m_allEnded.wait(lock, [this] { return m_threads == 0; });
}

void ElasticThreadPool::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        ++m_idle;
        const bool woken
            = m_work.wait_for(lock, idleLifetime, [this] { return !m_tasks.empty() || m_stopping; });
        --m_idle;
        if (!woken || m_tasks.empty())
            break;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
    // Last access to the pool: shutdown() may destroy it as soon as the count reaches zero.
    if (--m_threads == 0)
        m_allEnded.notify_all();
}

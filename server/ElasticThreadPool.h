#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// The request threads: one per connection being served, started when needed up to a maximum and
// ended after a minute without work, so that the pool is as large as the load and no larger.
class ElasticThreadPool : public httplib::TaskQueue
{
public:
    explicit ElasticThreadPool(int maxThreads);
    ~ElasticThreadPool() override;

    void enqueue(std::function<void()> task) override;
    // Runs the queued tasks to the end and waits for every thread.
    void shutdown() override;

private:
    void work();

    const int m_maxThreads;
    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_allEnded;
    std::deque<std::function<void()>> m_tasks;
    int m_threads = 0;
    int m_idle = 0;
    bool m_stopping = false;
};

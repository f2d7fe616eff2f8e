#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <thread>

// Fills a pipe that is a child's standard input, on a thread of its own: the child reads in its
// own small pieces without waking the event loop for each of them, and a producer that reads files
// does not hold it up either. What goes in comes from the producer, called on that thread.
class PipeFeeder
{
public:
    // Puts up to size bytes into buffer: their count, 0 at the end, or -1 on a failure (the child
    // then sees its input end early; the owner must not take its result).
    using Producer = std::function<qint64(char* buffer, qint64 size)>;

    explicit PipeFeeder(Producer producer);
    ~PipeFeeder();
    PipeFeeder(const PipeFeeder&) = delete;
    PipeFeeder& operator=(const PipeFeeder&) = delete;

    // The child's end of the pipe, or -1 when there is none.
    int readEnd() const { return m_read; }
    // Once the child holds its own copy of the read end.
    void start();
    // Ends the thread (at once, unless it is inside the producer) and waits for it.
    void stop();
    // True when the producer failed; once stopped, final.
    bool failed() const { return m_failed; }

private:
    void run();
    // Writes all of data unless the child has gone or a stop is asked for.
    bool writeAll(const char* data, qint64 length);
    static void closeFd(int& fd);

    Producer m_producer;
    int m_read = -1;
    int m_write = -1;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_failed {false};
    std::thread m_thread;
};

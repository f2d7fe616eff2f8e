#include "gpg/PipeFeeder.h"

#include <QByteArray>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace {
// The largest pipe an unprivileged process may ask for; each round moves this much.
constexpr int pipeBytes = 1024 * 1024;
} // namespace

PipeFeeder::PipeFeeder(Producer producer)
    : m_producer(std::move(producer))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    m_read = fds[0];
    m_write = fds[1];
    ::fcntl(m_write, F_SETPIPE_SZ, pipeBytes); // a smaller pipe only means more rounds
    // Non-blocking, so that the thread notices a stop even while nobody reads.
    ::fcntl(m_write, F_SETFL, ::fcntl(m_write, F_GETFL) | O_NONBLOCK);
}

PipeFeeder::~PipeFeeder()
{
    stop();
    closeFd(m_read);
    closeFd(m_write);
}

void PipeFeeder::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void PipeFeeder::start()
{
    closeFd(m_read);
    m_thread = std::thread([this] { run(); });
}

void PipeFeeder::run()
{
    // A child that stopped reading makes the write fail with EPIPE; the signal that comes with it
    // stays blocked on this thread and dies with it instead of ending the program.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    QByteArray buffer(pipeBytes, Qt::Uninitialized);
    while (!m_stop) {
        const qint64 n = m_producer(buffer.data(), buffer.size());
        if (n < 0)
            m_failed = true;
        if (n <= 0 || !writeAll(buffer.constData(), n))
            break;
    }
    closeFd(m_write); // the child sees the end of its input
}

bool PipeFeeder::writeAll(const char* data, qint64 length)
{
    while (length > 0 && !m_stop) {
        const ssize_t n = ::write(m_write, data, size_t(length));
        if (n > 0) {
            data += n;
            length -= n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd writable {m_write, POLLOUT, 0};
            ::poll(&writable, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            return false; // the reader is gone
        }
    }
    return length == 0;
}

void PipeFeeder::closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

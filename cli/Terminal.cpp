#include "cli/Terminal.h"

#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

std::atomic_bool interruptPending {false};

FILE* fileOf(Terminal::Stream stream)
{
    switch (stream) {
    case Terminal::StandardInput:
        return stdin;
    case Terminal::StandardOutput:
        return stdout;
    case Terminal::StandardError:
        break;
    }
    return stderr;
}

#ifdef Q_OS_WIN
BOOL WINAPI onConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    if (interruptPending.exchange(true))
        return FALSE; // second press: let the system end the process
    return TRUE;
}
#else
int interruptPipe[2] = {-1, -1};

void onSigint(int)
{
    // Only async-signal-safe calls here: the event loop picks the byte up.
    interruptPending = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(interruptPipe[1], &byte, 1);
    std::signal(SIGINT, SIG_DFL);
}
#endif

} // namespace

Terminal::Terminal(QObject* parent)
    : QObject(parent)
{
    interruptPending = false;
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    m_poll = new QTimer(this);
    m_poll->setInterval(100);
    connect(m_poll, &QTimer::timeout, this, &Terminal::checkInterrupt);
    m_poll->start();
#else
    if (::pipe(interruptPipe) == 0) {
        ::fcntl(interruptPipe[0], F_SETFL, O_NONBLOCK);
        ::fcntl(interruptPipe[1], F_SETFL, O_NONBLOCK);
        m_notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Terminal::checkInterrupt);
        std::signal(SIGINT, onSigint);
    }
#endif
}

Terminal::~Terminal()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
#else
    if (m_notifier) {
        std::signal(SIGINT, SIG_DFL);
        delete m_notifier;
        ::close(interruptPipe[0]);
        ::close(interruptPipe[1]);
        interruptPipe[0] = interruptPipe[1] = -1;
    }
#endif
}

void Terminal::checkInterrupt()
{
#ifndef Q_OS_WIN
    char buffer[16];
    while (::read(interruptPipe[0], buffer, sizeof buffer) > 0) { }
#endif
    if (interruptPending && !m_reported) {
        m_reported = true;
        emit interrupted();
    }
}

bool Terminal::isTerminal(Stream stream)
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(fileOf(stream))) != 0;
#else
    return ::isatty(::fileno(fileOf(stream))) != 0;
#endif
}

void Terminal::write(Stream stream, const QString& text)
{
    FILE* file = fileOf(stream);
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), file);
    std::fflush(file);
}

QString Terminal::readLine(bool hideInput, bool* ok)
{
    const bool hide = hideInput && isTerminal(StandardInput);
#ifdef Q_OS_WIN
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD oldMode = 0;
    if (hide && GetConsoleMode(input, &oldMode))
        SetConsoleMode(input, oldMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
    termios oldMode {};
    const bool restore = hide && ::tcgetattr(STDIN_FILENO, &oldMode) == 0;
    if (restore) {
        termios silent = oldMode;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
#endif

    QByteArray line;
    bool gotAny = false;
    for (int c = std::fgetc(stdin); c != EOF; c = std::fgetc(stdin)) {
        gotAny = true;
        if (c == '\n')
            break;
        line.append(static_cast<char>(c));
    }
    if (line.endsWith('\r'))
        line.chop(1);

#ifdef Q_OS_WIN
    if (hide && oldMode)
        SetConsoleMode(input, oldMode);
#else
    if (restore)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &oldMode);
#endif
    if (hide)
        write(StandardError, QStringLiteral("\n"));
    if (ok)
        *ok = gotAny;
    return QString::fromLocal8Bit(line);
}

int Terminal::columns()
{
#ifdef Q_OS_WIN
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

QString Terminal::printable(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        const ushort u = c.unicode();
        if (u == '\t' || u == '\n' || u == '\r')
            c = QLatin1Char(' ');
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0) || (u >= 0x202a && u <= 0x202e)
                 || (u >= 0x2066 && u <= 0x2069))
            c = QChar::ReplacementCharacter;
    }
    return result;
}

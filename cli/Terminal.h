#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// The console under the command-line front end: whether a stream is a terminal, writing text,
// reading one line (hidden while a password is typed), and Ctrl-C delivered as a Qt signal.
// Everything that differs between operating systems for the front end lives here.
class Terminal : public QObject
{
    Q_OBJECT
public:
    enum Stream
    {
        StandardInput,
        StandardOutput,
        StandardError
    };

    // Catches Ctrl-C for the lifetime of this object. The first Ctrl-C emits interrupted() from the
    // event loop; a second one ends the process the default way, for a program that does not react.
    explicit Terminal(QObject* parent = nullptr);
    ~Terminal() override;

    static bool isTerminal(Stream stream);
    // Writes text in the local encoding, unbuffered.
    static void write(Stream stream, const QString& text);
    // One line of standard input without its line end. *ok is false at end of input before any
    // character. With hideInput and a terminal, the typed characters are not echoed.
    static QString readLine(bool hideInput, bool* ok);
    // Width of the terminal behind standard error in columns; 80 when unknown.
    static int columns();
    // text with every control character (and every mark that reorders text) replaced, so that
    // what came from outside can neither move the cursor nor retitle, clear or fake the terminal.
    // Line and tab breaks become blanks: one message stays one line.
    static QString printable(const QString& text);

signals:
    void interrupted();

private slots:
    void checkInterrupt();

private:
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_poll = nullptr;
    bool m_reported = false;
};

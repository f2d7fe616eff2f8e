#include "cli/CliPrompter.h"

#include "cli/Terminal.h"

#include <QIODevice>
#include <QRegularExpression>

CliPrompter::CliPrompter(Sink sink, QIODevice* input, QObject* parent)
    : Prompter(parent)
    , m_sink(std::move(sink))
    , m_input(input)
{
}

void CliPrompter::message(Icon, const QString& title, const QString& text)
{
    m_sink(title.isEmpty() ? text : title + QStringLiteral(": ") + text);
}

bool CliPrompter::confirm(const QString&, const QString& text, const QString&)
{
    // Asked on a terminal only: input that comes from elsewhere was not written as an answer.
    const QString question = text + QLatin1Char(' ') + tr("[y/N]") + QLatin1Char(' ');
    QString answer;
    if (m_input) {
        m_sink(question);
        answer = QString::fromUtf8(m_input->readLine()).trimmed();
    } else if (Terminal::isTerminal(Terminal::StandardInput)) {
        Terminal::write(Terminal::StandardError, Terminal::printable(question));
        bool ok = false;
        answer = Terminal::readLine(false, &ok).trimmed();
    }
    // "y", or the first letter of the language's own word for yes.
    return answer.compare(QLatin1String("y"), Qt::CaseInsensitive) == 0
        || (!answer.isEmpty() && answer.compare(tr("yes").left(answer.size()), Qt::CaseInsensitive) == 0);
}

QString CliPrompter::password(const QString& label, bool* ok)
{
    if (m_passwordRead) {
        if (ok)
            *ok = false;
        return QString();
    }
    m_passwordRead = true;
    if (m_input) {
        const QByteArray line = m_input->readLine();
        if (ok)
            *ok = !line.isEmpty();
        return QString::fromUtf8(line).remove(QRegularExpression(QStringLiteral("\\r?\\n$")));
    }
    if (Terminal::isTerminal(Terminal::StandardInput))
        Terminal::write(Terminal::StandardError,
                        (label.isEmpty() ? tr("Password") : label) + QStringLiteral(": "));
    return Terminal::readLine(true, ok);
}

QList<QUrl> CliPrompter::openFileUrls(const QUrl&)
{
    return {};
}

QString CliPrompter::existingDirectory(const QString&)
{
    return QString();
}

QString CliPrompter::saveFileName(const QString&, const QString&, const QString&, const QString&)
{
    return QString();
}

QString CliPrompter::openFileName(const QString&, const QString&)
{
    return QString();
}

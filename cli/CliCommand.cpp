#include "cli/CliCommand.h"

#include <QCoreApplication>

namespace {

const QString helpName = QStringLiteral("help");

QString optionSyntax(const QCommandLineOption& option)
{
    QStringList names;
    for (const QString& name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString text = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QLatin1Char(' ') + option.valueName();
    return text;
}

} // namespace

CliCommand::CliCommand(const QString& name, const QString& summary, const QString& syntax, int minArguments,
                       int maxArguments)
    : m_name(name)
    , m_summary(summary)
    , m_syntax(syntax)
    , m_minArguments(minArguments)
    , m_maxArguments(maxArguments)
    , m_parser(std::make_shared<QCommandLineParser>())
{
    addOption(QCommandLineOption({QStringLiteral("h"), helpName},
                                 QCoreApplication::translate("CliApp", "Show this help and exit.")));
}

void CliCommand::addOption(const QCommandLineOption& option)
{
    m_options << option;
    m_parser->addOption(option);
}

bool CliCommand::parse(const QStringList& words, QString* error)
{
    // The parser skips its first word, the program name.
    if (!m_parser->parse(QStringList {QStringLiteral("tessary-cli")} + words)) {
        *error = m_parser->errorText();
        return false;
    }
    if (helpRequested())
        return true;
    const int count = m_parser->positionalArguments().size();
    if (count < m_minArguments) {
        *error = QCoreApplication::translate("CliApp", "Missing arguments.");
        return false;
    }
    if (m_maxArguments >= 0 && count > m_maxArguments) {
        *error = QCoreApplication::translate("CliApp", "Too many arguments.");
        return false;
    }
    return true;
}

bool CliCommand::helpRequested() const
{
    return m_parser->isSet(helpName);
}

bool CliCommand::isSet(const QString& option) const
{
    return m_parser->isSet(option);
}

QString CliCommand::value(const QString& option) const
{
    return m_parser->value(option);
}

QStringList CliCommand::arguments() const
{
    return m_parser->positionalArguments();
}

QString CliCommand::usageLine() const
{
    QString line = QStringLiteral("tessary-cli ") + m_name;
    if (m_options.size() > 1)
        line += QStringLiteral(" [options]");
    if (!m_syntax.isEmpty())
        line += QLatin1Char(' ') + m_syntax;
    return line;
}

QString CliCommand::helpText() const
{
    QString text = QCoreApplication::translate("CliApp", "Usage: %1").arg(usageLine())
        + QStringLiteral("\n\n") + m_summary + QStringLiteral("\n\n")
        + QCoreApplication::translate("CliApp", "Options:") + QLatin1Char('\n');
    int width = 0;
    for (const QCommandLineOption& option : m_options)
        width = qMax(width, optionSyntax(option).size());
    for (const QCommandLineOption& option : m_options)
        text += QStringLiteral("  ") + optionSyntax(option).leftJustified(width + 2) + option.description()
            + QLatin1Char('\n');
    return text;
}

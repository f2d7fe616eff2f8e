#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// One sub-command of the command-line front end: its name, its usage line and help text, and the
// parser for the words that follow the name.
class CliCommand
{
public:
    // syntax is the usage of the positional arguments, e.g. "KEYID PATH..."; maxArguments -1 means
    // no upper limit.
    CliCommand(const QString& name, const QString& summary, const QString& syntax, int minArguments,
               int maxArguments);

    void addOption(const QCommandLineOption& option);

    // Parses the words after the command name; false, with the reason, when they do not fit.
    bool parse(const QStringList& words, QString* error);

    bool helpRequested() const;
    bool isSet(const QString& option) const;
    QString value(const QString& option) const;
    QStringList arguments() const;

    QString name() const { return m_name; }
    QString summary() const { return m_summary; }
    QString usageLine() const;
    QString helpText() const;

private:
    QString m_name;
    QString m_summary;
    QString m_syntax;
    int m_minArguments;
    int m_maxArguments;
    QList<QCommandLineOption> m_options;
    std::shared_ptr<QCommandLineParser> m_parser;
};

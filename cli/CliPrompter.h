#pragma once

#include "platform/Prompter.h"

#include <functional>

class QIODevice;

// Answers the core's questions without a display: messages go to a sink (standard error) and the
// password is the first line of standard input. The commands hand paths from the command line to the
// core directly, so every file or folder dialog is answered with "cancel".
class CliPrompter : public Prompter
{
    Q_OBJECT
public:
    using Sink = std::function<void(const QString&)>;
    // input: where the password line comes from; standard input when null.
    explicit CliPrompter(Sink sink, QIODevice* input = nullptr, QObject* parent = nullptr);

    void message(Icon icon, const QString& title, const QString& text) override;
    bool confirm(const QString& title, const QString& text, const QString& action) override;
    // Only the first line of standard input is a password: a prompt repeated after an empty answer
    // is cancelled instead of reading further lines that the caller did not mean as passwords.
    QString password(const QString& label, bool* ok) override;
    QList<QUrl> openFileUrls(const QUrl& startDir) override;
    QString existingDirectory(const QString& startDir) override;
    QString saveFileName(const QString& startDir, const QString& filter, const QString& defaultSuffix,
                         const QString& preselect) override;
    QString openFileName(const QString& startDir, const QString& filter) override;

private:
    Sink m_sink;
    QIODevice* m_input;
    bool m_passwordRead = false;
};

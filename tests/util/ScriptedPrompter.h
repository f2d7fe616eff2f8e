#pragma once

#include "platform/Prompter.h"

#include <QQueue>
#include <QStringList>

// A prompter for tests: records every message and question and answers from queues filled by the
// test. An empty queue answers "cancel".
class ScriptedPrompter : public Prompter
{
    Q_OBJECT
public:
    using Prompter::Prompter;

    struct Message
    {
        Icon icon;
        QString title;
        QString text;
    };
    QList<Message> messages;
    QStringList questions; // labels/captions of every dialog shown, in order
    QQueue<bool> confirmations; // answers to confirm()
    QStringList lastConfirmation; // title, text and action of the latest confirm()
    QQueue<QString> passwords; // answers to password(); a null QString means "cancel"
    QQueue<QList<QUrl>> fileUrls; // answers to openFileUrls()
    QQueue<QString> directories; // answers to existingDirectory()
    QQueue<QString> saveNames; // answers to saveFileName()
    QQueue<QString> openNames; // answers to openFileName()
    QStringList startDirs; // start folder of every file or folder dialog
    QStringList preselected; // preselected names of saveFileName()

    void message(Icon icon, const QString& title, const QString& text) override;
    bool confirm(const QString& title, const QString& text, const QString& action) override;
    QString password(const QString& label, bool* ok) override;
    QList<QUrl> openFileUrls(const QUrl& startDir) override;
    QString existingDirectory(const QString& startDir) override;
    QString saveFileName(const QString& startDir, const QString& filter, const QString& defaultSuffix,
                         const QString& preselect) override;
    QString openFileName(const QString& startDir, const QString& filter) override;
};

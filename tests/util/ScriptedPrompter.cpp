#include "util/ScriptedPrompter.h"

void ScriptedPrompter::message(Icon icon, const QString& title, const QString& text)
{
    messages.append({icon, title, text});
}

bool ScriptedPrompter::confirm(const QString& title, const QString& text, const QString& action)
{
    lastConfirmation = QStringList {title, text, action};
    questions.append(title + QStringLiteral(": ") + text);
    return !confirmations.isEmpty() && confirmations.dequeue();
}

QString ScriptedPrompter::password(const QString& label, bool* ok)
{
    questions.append(label);
    const QString answer = passwords.isEmpty() ? QString() : passwords.dequeue();
    if (ok)
        *ok = !answer.isNull();
    return answer;
}

QList<QUrl> ScriptedPrompter::openFileUrls(const QUrl& startDir)
{
    questions.append(QStringLiteral("openFileUrls"));
    startDirs.append(startDir.toString());
    return fileUrls.isEmpty() ? QList<QUrl>() : fileUrls.dequeue();
}

QString ScriptedPrompter::existingDirectory(const QString& startDir)
{
    questions.append(QStringLiteral("existingDirectory"));
    startDirs.append(startDir);
    return directories.isEmpty() ? QString() : directories.dequeue();
}

QString ScriptedPrompter::saveFileName(const QString& startDir, const QString&, const QString&,
                                       const QString& preselect)
{
    questions.append(QStringLiteral("saveFileName"));
    startDirs.append(startDir);
    preselected.append(preselect);
    return saveNames.isEmpty() ? QString() : saveNames.dequeue();
}

QString ScriptedPrompter::openFileName(const QString& startDir, const QString&)
{
    questions.append(QStringLiteral("openFileName"));
    startDirs.append(startDir);
    return openNames.isEmpty() ? QString() : openNames.dequeue();
}

#include "platform/Prompter.h"

#include <QTextStream>

Prompter* Prompter::orNull(Prompter* p)
{
    static NullPrompter fallback;
    return p ? p : &fallback;
}

void NullPrompter::message(Icon, const QString& title, const QString& text)
{
    QTextStream(stderr) << title << ": " << text << Qt::endl;
}

bool NullPrompter::confirm(const QString&, const QString&, const QString&)
{
    return false;
}

QString NullPrompter::password(const QString&, bool* ok)
{
    if (ok)
        *ok = false;
    return QString();
}

QList<QUrl> NullPrompter::openFileUrls(const QUrl&)
{
    return {};
}

QString NullPrompter::existingDirectory(const QString&)
{
    return QString();
}

QString NullPrompter::saveFileName(const QString&, const QString&, const QString&, const QString&)
{
    return QString();
}

QString NullPrompter::openFileName(const QString&, const QString&)
{
    return QString();
}

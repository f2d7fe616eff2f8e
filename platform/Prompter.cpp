#include "platform/Prompter.h"

#include <QPointer>
#include <QQmlEngine>
#include <QTextStream>

namespace {
const char* const prompterProperty = "tessaryPrompter";
}

Prompter* Prompter::resolve(QObject* obj, Prompter* explicitPrompter)
{
    if (explicitPrompter)
        return explicitPrompter;
    if (QQmlEngine* engine = obj ? qmlEngine(obj) : nullptr) {
        if (auto* p = qobject_cast<Prompter*>(engine->property(prompterProperty).value<QObject*>()))
            return p;
    }
    // Objects outside any engine that were given no prompter must still never block on a dialog.
    static NullPrompter fallback;
    return &fallback;
}

void Prompter::attach(QObject* engine, Prompter* p)
{
    engine->setProperty(prompterProperty, QVariant::fromValue<QObject*>(p));
}

void NullPrompter::message(Icon, const QString& title, const QString& text)
{
    QTextStream(stderr) << title << ": " << text << Qt::endl;
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

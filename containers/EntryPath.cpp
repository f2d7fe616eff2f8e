#include "containers/EntryPath.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

QStringList parts(const QString& name)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    return name.split(separators);
}

} // namespace

bool EntryPath::isSafeName(const QString& name)
{
    if (name.isEmpty())
        return false;
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    if (drive.match(name).hasMatch())
        return false;
    const QStringList list = parts(name);
    for (const QString& part : list) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

QString EntryPath::destination(const QString& root, const QString& name)
{
    if (!isSafeName(name))
        return QString();
    QString path = root;
    const QStringList list = name.split(QLatin1Char('/'));
    for (const QString& part : list) {
        path += QLatin1Char('/') + part;
        const QFileInfo info(path);
        if (info.isSymLink())
            return QString();
        if (!info.exists())
            break;
    }
    return root + QLatin1Char('/') + name;
}

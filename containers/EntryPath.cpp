#include "containers/EntryPath.h"

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

#include "containers/Arrival.h"

#include <QVariantMap>

QString ArrivedFile::note() const
{
    switch (outcome) {
    case Outcome::Arrived:
        break;
    case Outcome::Replaced:
        return tr("replaced the file of that name");
    case Outcome::Renamed:
        return tr("sent as %1, a name that was taken").arg(entryName);
    case Outcome::Skipped:
        return tr("not saved: the file of that name was kept");
    case Outcome::Unsafe:
        return tr("not saved: the name leads out of the folder");
    }
    return QString();
}

QVariantList Arrivals::toVariantList(const Arrival& arrival)
{
    QVariantList notable, plain;
    for (const ArrivedFile& file : arrival) {
        const QString note = file.note();
        (note.isEmpty() ? plain : notable)
            .append(QVariantMap {{QStringLiteral("name"), file.name},
                                 {QStringLiteral("size"), double(file.size)},
                                 {QStringLiteral("note"), note},
                                 {QStringLiteral("written"), file.written()}});
    }
    return notable + plain;
}

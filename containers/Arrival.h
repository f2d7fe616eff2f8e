#pragma once

#include <QCoreApplication>
#include <QMetaType>
#include <QString>
#include <QVariantList>
#include <QVector>

// What became of one entry of an opened container: where it went, and why when that is not simply
// the name its sender gave it.
struct ArrivedFile
{
    Q_DECLARE_TR_FUNCTIONS(ArrivedFile)
public:
    enum class Outcome
    {
        Arrived, // under its own name
        Replaced, // under its own name, in place of the file that was there
        Renamed, // under a free name beside what was there
        Skipped, // not written: what was there is kept
        Unsafe // not written: the name would lead out of the folder
    };

    QString entryName; // as the container names it
    QString name; // relative to the extraction folder: where it is, or where it would have gone
    qint64 size = 0;
    Outcome outcome = Outcome::Arrived;

    bool written() const { return outcome != Outcome::Skipped && outcome != Outcome::Unsafe; }
    // What happened, for a person; empty when the file simply arrived.
    QString note() const;
};

using Arrival = QVector<ArrivedFile>;
Q_DECLARE_METATYPE(Arrival)

namespace Arrivals {
// Each entry as {"name", "size", "note", "written"}, the notable ones (with a note) first, for the
// pages.
QVariantList toVariantList(const Arrival& arrival);
} // namespace Arrivals

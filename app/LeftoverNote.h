#pragma once

#include <QString>
#include <QTemporaryFile>

// A note in the private temporary folder naming what this run keeps outside it for a while (a
// staging folder, a container being saved). The note goes with the object; the notes a killed run
// left are read at the next start, and what they name goes too.
class LeftoverNote
{
public:
    // Everything noted is named with this prefix, so that nothing else is ever removed.
    static const QString prefix;

    explicit LeftoverNote(const QString& path);

    // Removes what the notes in the temporary folder name.
    static void removeAbandoned();

private:
    QTemporaryFile m_note;
};

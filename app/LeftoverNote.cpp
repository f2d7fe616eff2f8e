#include "app/LeftoverNote.h"

#include "app/Startup.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

const QString LeftoverNote::prefix = QStringLiteral(".tessary-");

LeftoverNote::LeftoverNote(const QString& path)
    : m_note(Startup::temporaryDirPath() + QStringLiteral("/note-XXXXXX"))
{
    // Without its note, what a crash leaves stays until the user removes it; no reason to stop.
    if (m_note.open()) {
        m_note.write(QFile::encodeName(path));
        m_note.close();
        // Until its name is asked for, a temporary file may be one without a name.
        (void)m_note.fileName();
    }
}

void LeftoverNote::removeAbandoned()
{
    QDirIterator notes(Startup::temporaryDirPath(), {QStringLiteral("note-*")}, QDir::Files);
    while (notes.hasNext()) {
        QFile note(notes.next());
        if (!note.open(QIODevice::ReadOnly))
            continue;
        const QFileInfo noted(QFile::decodeName(note.readAll()));
        if (!noted.fileName().startsWith(prefix) || noted.isSymLink())
            continue;
        if (noted.isDir())
            QDir(noted.filePath()).removeRecursively();
        else
            QFile::remove(noted.filePath());
    }
}

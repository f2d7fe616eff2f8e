#include "containers/StagingFolder.h"

#include "containers/EntryPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

StagingFolder::StagingFolder(const QString& extractionFolder)
    : m_folder(extractionFolder)
    , m_dir(extractionFolder + QLatin1Char('/') + LeftoverNote::prefix + QStringLiteral("staging-XXXXXX"))
    , m_note(m_dir.path())
{
    const QFileInfo info(extractionFolder);
    if (extractionFolder.isEmpty() || !info.isDir() || !info.isWritable()) {
        m_error = tr("Directory %1 is not writable").arg(extractionFolder);
        return;
    }
    if (!m_dir.isValid())
        m_error = writeError(extractionFolder, m_dir.errorString());
}

StagingFolder::~StagingFolder() = default;

QString StagingFolder::writeError(const QString& folder, const QString& cause)
{
    return tr("Cannot write to %1: %2").arg(folder, cause);
}

QString StagingFolder::stage(const QString& entryName)
{
    if (!EntryPath::isSafeName(entryName)) {
        if (m_warn)
            m_warn(tr("Unsafe file name. Skipping %1").arg(entryName));
        return QString();
    }
    const QString path = m_dir.path() + QLatin1Char('/') + entryName;
    QDir().mkpath(QFileInfo(path).absolutePath());
    // An entry named twice is staged once; the later content replaces the earlier.
    if (!m_names.contains(entryName))
        m_names.append(entryName);
    return path;
}

bool StagingFolder::commit(ExistingFiles existing, QStringList* arrived, QString* error)
{
    struct Move
    {
        QString staged;
        QString destination;
        QString replaced; // where the file that was there waits, until all moves are done
    };
    QVector<Move> moves;
    QStringList createdFolders;
    auto undo = [&](const QString& cause) {
        for (auto it = moves.crbegin(); it != moves.crend(); ++it) {
            QFile::rename(it->destination, it->staged);
            if (!it->replaced.isEmpty())
                QFile::rename(it->replaced, it->destination);
        }
        for (auto it = createdFolders.crbegin(); it != createdFolders.crend(); ++it)
            QDir().rmdir(*it);
        *error = writeError(m_folder, cause);
        return false;
    };

    QSet<QString> seen;
    for (const QString& name : qAsConst(m_names)) {
        if (seen.contains(name))
            continue;
        seen.insert(name);
        Move move {m_dir.path() + QLatin1Char('/') + name, EntryPath::destination(m_folder, name), QString()};
        if (move.destination.isEmpty()) {
            if (m_warn)
                m_warn(tr("Unsafe file name. Skipping %1").arg(name));
            continue;
        }
        const QFileInfo target(move.destination);
        if (target.exists() || target.isSymLink()) {
            if (existing == ExistingFiles::Keep || target.isDir()) {
                if (m_warn)
                    m_warn(tr("File already exists. Skipping"));
                continue;
            }
            if (m_warn)
                m_warn(tr("File already exists. Overwriting"));
            move.replaced = m_dir.path() + QStringLiteral("/.replaced-%1").arg(moves.size());
            QFile old(move.destination);
            if (!old.rename(move.replaced))
                return undo(old.errorString());
        }
        // The folders on the way, each one noted so that an undo removes only what it made.
        QString folder = m_folder;
        const QStringList parts = name.split(QLatin1Char('/'));
        for (int i = 0; i + 1 < parts.size(); ++i) {
            folder += QLatin1Char('/') + parts.at(i);
            if (QFileInfo(folder).isDir())
                continue;
            if (!QDir().mkdir(folder)) {
                if (!move.replaced.isEmpty())
                    QFile::rename(move.replaced, move.destination);
                return undo(tr("%1 cannot be created").arg(folder));
            }
            createdFolders.append(folder);
        }
        QFile staged(move.staged);
        if (!staged.rename(move.destination)) {
            if (!move.replaced.isEmpty())
                QFile::rename(move.replaced, move.destination);
            return undo(staged.errorString());
        }
        moves.append(move);
    }
    for (const Move& move : qAsConst(moves))
        arrived->append(move.destination);
    return true;
}

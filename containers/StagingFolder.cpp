#include "containers/StagingFolder.h"

#include "containers/EntryPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>

namespace {

QString join(const QString& parent, const QString& name)
{
    return parent.isEmpty() ? name : parent + QLatin1Char('/') + name;
}

// "report.pdf" -> "report (n).pdf", "backup.tar.gz" -> "backup (n).tar.gz"; folders and names without
// an extension (".profile" too) -> "name (n)".
QString numbered(const QString& name, int n, bool folder)
{
    int dot = folder ? -1 : name.lastIndexOf(QLatin1Char('.'));
    if (dot > 4 && name.leftRef(dot).endsWith(QLatin1String(".tar"), Qt::CaseInsensitive))
        dot -= 4;
    const QString number = QStringLiteral(" (%1)").arg(n);
    return dot > 0 ? name.left(dot) + number + name.mid(dot) : name + number;
}

bool occupied(const QFileInfo& info)
{
    return info.exists() || info.isSymLink();
}

} // namespace

StagingFolder::StagingFolder(const QString& extractionFolder)
    : m_folder(extractionFolder)
{
    const QFileInfo info(extractionFolder);
    if (extractionFolder.isEmpty() || !info.isDir() || !info.isWritable()) {
        m_error = tr("Directory %1 is not writable").arg(extractionFolder);
        return;
    }
    // Not QTemporaryDir: it gives up where permissions cannot be set, as on the FAT file systems of
    // memory sticks. There the folder is as private as the file system allows.
    static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    for (int attempt = 0; attempt < 100 && m_path.isEmpty(); ++attempt) {
        QString path
            = extractionFolder + QLatin1Char('/') + LeftoverNote::prefix + QStringLiteral("staging-");
        for (int i = 0; i < 8; ++i)
            path += letters.at(QRandomGenerator::global()->bounded(letters.size()));
        m_note = std::make_unique<LeftoverNote>(path);
        if (QDir().mkdir(path)) {
            QFile::setPermissions(path,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            m_path = path;
        } else if (!QFileInfo::exists(path)) {
            m_error = writeError(extractionFolder, qt_error_string());
            m_note.reset();
            return;
        }
    }
    if (m_path.isEmpty()) {
        m_error = writeError(extractionFolder, tr("no free name for a folder"));
        m_note.reset();
        return;
    }
    // The file system, not the program, decides which names are the same.
    const QString name = QFileInfo(m_path).fileName();
    m_ignoresCase = QFileInfo::exists(m_folder + QLatin1Char('/') + name.toUpper());
}

StagingFolder::~StagingFolder()
{
    if (!m_path.isEmpty())
        QDir(m_path).removeRecursively();
}

QString StagingFolder::writeError(const QString& folder, const QString& cause)
{
    return tr("Cannot write to %1: %2").arg(folder, cause);
}

QString StagingFolder::stage(const QString& entryName)
{
    const QString path = m_path + QLatin1Char('/') + QString::number(m_names.size());
    m_names.append(entryName);
    return EntryPath::isSafeName(entryName) ? path : QString();
}

bool StagingFolder::commit(ExistingFiles existing, Arrival* arrival, QString* error)
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

    // Names below the extraction folder that this commit made, as the file system compares them:
    // true for a folder.
    QHash<QString, bool> made;
    // Folder of the container -> where its entries go; a null string when they are skipped.
    QHash<QString, QString> folders;
    auto key = [this](const QString& name) { return m_ignoresCase ? name.toCaseFolded() : name; };
    auto info = [this](const QString& name) { return QFileInfo(m_folder + QLatin1Char('/') + name); };
    auto freeName = [&](const QString& parent, const QString& name, bool folder) {
        for (int n = 1;; ++n) {
            const QString candidate = join(parent, numbered(name, n, folder));
            if (!made.contains(key(candidate)) && !occupied(info(candidate)))
                return candidate;
        }
    };

    for (int index = 0; index < m_names.size(); ++index) {
        ArrivedFile file;
        file.entryName = file.name = m_names.at(index);
        const QString staged = m_path + QLatin1Char('/') + QString::number(index);
        file.size = QFileInfo(staged).size();
        if (!EntryPath::isSafeName(file.entryName)) {
            file.outcome = ArrivedFile::Outcome::Unsafe;
            arrival->append(file);
            continue;
        }

        // The folders on the way: each taken as it is there, made, or given a free name. Nothing is
        // ever written through a symbolic link.
        const QStringList parts = file.entryName.split(QLatin1Char('/'));
        QString parent;
        bool skipped = false;
        for (int i = 0; i + 1 < parts.size() && !skipped; ++i) {
            const QString prefix = parts.mid(0, i + 1).join(QLatin1Char('/'));
            const auto known = folders.constFind(prefix);
            if (known != folders.cend()) {
                skipped = known->isNull();
                parent = *known;
                continue;
            }
            QString folder = join(parent, parts.at(i));
            const QFileInfo there = info(folder);
            const auto ours = made.constFind(key(folder));
            bool make = false;
            if (ours != made.cend()) {
                // A file of this container has the name.
                if (!*ours) {
                    folder = freeName(parent, parts.at(i), true);
                    make = true;
                }
            } else if (!occupied(there)) {
                make = true;
            } else if (there.isDir() && !there.isSymLink() && existing != ExistingFiles::KeepBoth) {
                // Merged with the folder that is there.
            } else if (existing == ExistingFiles::Keep) {
                skipped = true;
            } else {
                folder = freeName(parent, parts.at(i), true);
                make = true;
            }
            if (make) {
                const QString path = m_folder + QLatin1Char('/') + folder;
                if (!QDir().mkdir(path))
                    return undo(tr("%1 cannot be created").arg(path));
                createdFolders.append(path);
                made.insert(key(folder), true);
            }
            folders.insert(prefix, skipped ? QString() : folder);
            parent = folder;
        }
        if (skipped) {
            file.outcome = ArrivedFile::Outcome::Skipped;
            arrival->append(file);
            continue;
        }
        file.name = join(parent, parts.last());

        Move move {staged, QString(), QString()};
        const QFileInfo there = info(file.name);
        if (made.contains(key(file.name))) {
            file.name = freeName(parent, parts.last(), false);
        } else if (occupied(there)) {
            if (existing == ExistingFiles::Keep) {
                file.outcome = ArrivedFile::Outcome::Skipped;
                arrival->append(file);
                continue;
            }
            if (existing == ExistingFiles::Overwrite && there.isFile() && !there.isSymLink()) {
                move.replaced = m_path + QStringLiteral("/.replaced-%1").arg(moves.size());
                QFile old(there.filePath());
                if (!old.rename(move.replaced))
                    return undo(old.errorString());
                file.outcome = ArrivedFile::Outcome::Replaced;
            } else {
                file.name = freeName(parent, parts.last(), false);
            }
        }
        if (file.outcome == ArrivedFile::Outcome::Arrived && file.name != file.entryName)
            file.outcome = ArrivedFile::Outcome::Renamed;
        move.destination = m_folder + QLatin1Char('/') + file.name;
        QFile source(staged);
        if (!source.rename(move.destination)) {
            if (!move.replaced.isEmpty())
                QFile::rename(move.replaced, move.destination);
            return undo(source.errorString());
        }
        moves.append(move);
        made.insert(key(file.name), false);
        arrival->append(file);
    }
    return true;
}

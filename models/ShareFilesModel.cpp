#include "models/ShareFilesModel.h"

#include "platform/Prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString keyLastOpenDir = QStringLiteral("fileDialogs/lastOpenDir");

} // namespace

ShareFilesModel::ShareFilesModel(QObject* parent, Prompter* prompter)
    : QAbstractListModel(parent)
    , m_prompter(prompter)
{
}

int ShareFilesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : files.size();
}

QVariant ShareFilesModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= files.size())
        return QVariant();
    return std::next(files.cbegin(), index.row()).key();
}

QVariantMap ShareFilesModel::fileList()
{
    return files;
}

void ShareFilesModel::openFilesDialog()
{
    QSettings settings;
    const QUrl startDir = settings.value(keyLastOpenDir, QUrl::fromLocalFile(QDir::homePath())).toUrl();
    const QList<QUrl> urls = Prompter::orNull(m_prompter)->openFileUrls(startDir);
    if (urls.isEmpty())
        return;
    settings.setValue(keyLastOpenDir,
                      QUrl::fromLocalFile(QFileInfo(urls.first().toLocalFile()).absolutePath()));
    settings.sync();
    addFiles(urls);
}

void ShareFilesModel::openFolderDialog()
{
    QSettings settings;
    const QUrl startDir = settings.value(keyLastOpenDir, QUrl::fromLocalFile(QDir::homePath())).toUrl();
    const QString folder = Prompter::orNull(m_prompter)->existingDirectory(startDir.toLocalFile());
    if (folder.isEmpty())
        return;
    // The next dialog starts beside the folder, where its siblings are.
    settings.setValue(keyLastOpenDir, QUrl::fromLocalFile(QFileInfo(folder).absolutePath()));
    settings.sync();
    addFiles({QUrl::fromLocalFile(QDir::cleanPath(folder))});
}

void ShareFilesModel::addFiles(QList<QUrl> fileList)
{
    if (files.size() >= maxFileCount) {
        showLimitWarning();
        return;
    }
    beginResetModel();
    for (QUrl url : fileList) {
        QString path = url.toLocalFile();
        QFileInfo info(path);
        if (info.isSymLink()) {
            // One level of indirection is followed; a link to a link is left out.
            const QFileInfo target(info.symLinkTarget());
            if (target.isSymLink())
                continue;
            path = target.absoluteFilePath();
            url = QUrl::fromLocalFile(path);
            info = target;
        }
        const QString name = url.fileName(QUrl::FullyDecoded);
        if (info.isDir())
            walkDir(path, name, 0);
        else
            files.insert(name, path);
    }
    endResetModel();
    if (files.size() >= maxFileCount)
        showLimitWarning();
}

void ShareFilesModel::walkDir(const QString& dirPath, const QString& prefix, int depth)
{
    if (depth > maxDirDepth || files.size() >= maxFileCount)
        return;
    // One listing is added whole even when it crosses the limit; the limit is tested per folder.
    const QFileInfoList entries
        = QDir(dirPath).entryInfoList(QDir::AllEntries, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        const QString fileName = entry.fileName();
        if (fileName == QLatin1String(".") || fileName == QLatin1String(".."))
            continue;
        const QString name = prefix + QLatin1Char('/') + fileName;
        if (entry.isDir())
            walkDir(entry.filePath(), name, depth + 1);
        else
            files.insert(name, entry.filePath());
    }
}

void ShareFilesModel::removeFile(int index)
{
    if (index < 0 || index >= files.size())
        return;
    beginResetModel();
    files.erase(std::next(files.begin(), index));
    endResetModel();
}

void ShareFilesModel::clear()
{
    beginResetModel();
    files = QVariantMap();
    endResetModel();
}

void ShareFilesModel::showLimitWarning()
{
    Prompter::orNull(m_prompter)
        ->message(Prompter::Icon::Warning, tr("File count limit exceed"),
                  tr("You cannot add more than %1 files in one container").arg(maxFileCount));
}

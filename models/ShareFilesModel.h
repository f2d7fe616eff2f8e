#pragma once

#include "platform/Prompter.h"

#include <QAbstractListModel>
#include <QList>
#include <QUrl>
#include <QVariantMap>

// The files picked for one transfer: entry name inside the container -> local path to read it
// from. Rows are the entry names in map order. The map is what a container is packed from.
class ShareFilesModel : public QAbstractListModel
{
    Q_OBJECT
    // Who answers the file dialog and shows the limit warning.
    Q_PROPERTY(Prompter* prompter MEMBER m_prompter)
public:
    explicit ShareFilesModel(QObject* parent = nullptr, Prompter* prompter = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

public slots:
    QVariantMap fileList();
    void openFilesDialog();
    // Adds a folder, with everything in it, chosen in a folder dialog.
    void openFolderDialog();
    void addFiles(QList<QUrl> fileList);
    void removeFile(int index);
    void clear();

private:
    void walkDir(const QString& dirPath, const QString& prefix, int depth);
    void showLimitWarning();

    const int maxDirDepth = 15;
    const int maxFileCount = 5000;
    QVariantMap files;
    Prompter* m_prompter;
};

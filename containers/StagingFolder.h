#pragma once

#include "app/LeftoverNote.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// A hidden folder (mode 0700) inside the extraction folder, where a container's files are written
// first. They move into place only by commit(), once the container has proved intact, and commit()
// either moves all of them or leaves the extraction folder as it was. Whatever is still inside when
// the object goes (after a failure or a cancel) goes with it, and a crash leaves it to the next
// start (LeftoverNote).
class StagingFolder
{
    Q_DECLARE_TR_FUNCTIONS(StagingFolder)
public:
    enum class ExistingFiles
    {
        Overwrite,
        Keep
    };

    explicit StagingFolder(const QString& extractionFolder);
    ~StagingFolder();

    // Empty when the folder is ready, else why it is not.
    QString error() const { return m_error; }
    QString extractionFolder() const { return m_folder; }

    // Where to write the entry with this name (its folders made); empty for a name that may not be
    // written anywhere, after a warning.
    QString stage(const QString& entryName);
    // Moves every staged file into the extraction folder; the paths of the files that arrived. False,
    // with *error, when one could not be moved: then the extraction folder is as it was before.
    bool commit(ExistingFiles existing, QStringList* arrived, QString* error);

    void setWarningHandler(std::function<void(const QString&)> warn) { m_warn = std::move(warn); }

    // "Cannot write to %1: %2", the message of every failed write into a folder.
    static QString writeError(const QString& folder, const QString& cause);

private:
    QString m_folder;
    QTemporaryDir m_dir;
    LeftoverNote m_note;
    QStringList m_names;
    QString m_error;
    std::function<void(const QString&)> m_warn;
};

#pragma once

#include "app/LeftoverNote.h"
#include "containers/Arrival.h"

#include <QCoreApplication>
#include <QStringList>

#include <memory>

// A hidden folder (mode 0700) inside the extraction folder, where a container's files are written
// first. They move into place only by commit(), once the container has proved intact, and commit()
// either moves all of them or leaves the extraction folder as it was. Whatever is still inside when
// the object goes (after a failure or a cancel) goes with it, and a crash leaves it to the next
// start (LeftoverNote).
//
// Names are taken as the folder's file system takes them: on one that ignores case, "A.txt" is taken
// by "a.txt". Two entries of one container never replace each other, whatever the policy: the later
// one gets a free name.
class StagingFolder
{
    Q_DECLARE_TR_FUNCTIONS(StagingFolder)
public:
    enum class ExistingFiles
    {
        Overwrite, // a file of the same name is replaced
        Keep, // what is there stays, the entry is not written
        KeepBoth // the entry gets a free name: "report (1).pdf", "Photos (1)"
    };

    explicit StagingFolder(const QString& extractionFolder);
    ~StagingFolder();

    // Empty when the folder is ready, else why it is not.
    QString error() const { return m_error; }
    QString extractionFolder() const { return m_folder; }

    // Where to write the next entry of the container; empty for a name that may not be written
    // anywhere.
    QString stage(const QString& entryName);
    // Moves every staged file into the extraction folder; what became of each entry, in container
    // order. False, with *error, when one could not be moved: then the extraction folder is as it was
    // before.
    bool commit(ExistingFiles existing, Arrival* arrival, QString* error);

    // "Cannot write to %1: %2", the message of every failed write into a folder.
    static QString writeError(const QString& folder, const QString& cause);

private:
    QString m_folder;
    QString m_path; // of the staging folder; empty when it could not be made
    std::unique_ptr<LeftoverNote> m_note;
    QStringList m_names; // of the staged entries, in container order; the n-th is staged as "n"
    bool m_ignoresCase = false;
    QString m_error;
};

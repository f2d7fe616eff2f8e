#pragma once

#include "containers/Arrival.h"
#include "platform/Prompter.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class Job;
class RelayClient;

// The sending and receiving jobs as the QML pages see them: slots that start a job and return at
// once, and the job's course told through this object's signals. One job at a time per object.
class ContainerManager : public QObject
{
    Q_OBJECT
    // Who answers the dialogs and shows the message boxes.
    Q_PROPERTY(Prompter* prompter MEMBER m_prompter)
    // Who signed the container received or opened last, as a line to show.
    Q_PROPERTY(QString signature READ signature NOTIFY signatureChanged)
public:
    explicit ContainerManager(QObject* parent = nullptr, Prompter* prompter = nullptr);

    QString signature() const { return m_signature; }

signals:
    void info(QString text);
    void warn(QString text);
    void error(QString text);
    void success(QString fileId, qlonglong fileSize);
    void start();
    void finished();
    void canceled();
    void progressInit(float min, float max, QString text = QString());
    void progressValueChanged(float value);
    void encryptionStart();
    void uploadingStart();
    void decryptionStart();
    // The relay is being told that a container was taken or rejected; cleared() when it has been.
    void serverClear(QString fileId, bool rejected);
    void cleared();
    // The answer to checkNewFiles(): the containers waiting, each as the relay described it.
    void newFiles(QVariantList files);
    // What came of each entry of a container just extracted, before cleared() or finished(): each as
    // {"name", "size", "note", "written"}, the ones with a note (renamed, replaced, skipped) first.
    void arrived(QVariantList files);
    // A send stopped because the relay offers another key for the contact than the pinned one;
    // error() follows.
    void keyChanged(QString keyId, QString offeredFingerprint);
    void signatureChanged();
    // The unfinished upload id is given up, here and on the relay.
    void uploadDropped(qlonglong id);

public slots:
    bool isDirWritable(QString dir);
    QString saveContainerDialog(QString defaultFilename = QString());
    QString openDirDialog(QString preferDir);
    QString openContainerDialog();
    // Sends the files to the contact keyId: its current key is fetched first.
    void sendFiles(QString keyId, QVariantMap shareFileList);
    // Continues the unfinished upload id (UnfinishedUploadsModel).
    void resumeUpload(qlonglong id);
    // Gives up the unfinished upload id, stopping it if it is under way here.
    void dropUpload(qlonglong id);
    // Saves (containerPath given) or uploads the files, encrypted with method and secret.
    void shareContainer(QString containerPath, QVariantMap shareFileList, int cryptMethod, QString secret);
    // Receives the waiting container fileId into extractPath, with the stored policy for names that
    // are taken there.
    void downloadById(QString fileId, qlonglong fileSize, QString uploaderKeyId, QString extractPath);
    // Extracts a local container into the folder the settings name, asking for a password if needed.
    void extractContainer(QString containerPath);
    // Asks the person whether to turn the waiting container down, and if so tells the relay and
    // records it (serverClear(), then cleared() or error()). False when the answer was no.
    bool rejectFile(QString fileId, qlonglong fileSize, QString uploaderKeyId);
    void cancel();
    void showError(QString errorText);
    void showSuccess(QString successText);
    void checkNewFiles();
    QString defaultExtractPath();
    void openExtractFolder();

private:
    // Runs job, telling its course through this object's signals; finished() ends every run.
    void run(Job* job);
    // arrived(), and the first file written as the one openExtractFolder() shows.
    void reportArrival(const QString& folder, const Arrival& arrival);

    RelayClient* m_relay;
    Prompter* m_prompter;
    QPointer<Job> m_job;
    QString m_lastExtractedFile;
    QString m_signature;
    bool m_checking = false;
    qint64 m_resuming = 0;
};

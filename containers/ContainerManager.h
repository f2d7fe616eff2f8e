#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class Crypter;
class Prompter;
class QFile;

// Sends, saves, opens, downloads and extracts containers for the QML pages. Every operation runs
// to its end inside the slot that was called, on the GUI thread; long steps keep the window alive
// with nested event loops and by processing events between chunks, so cancel() can arrive at any
// of those points. Everything the pages learn arrives through the signals.
class ContainerManager : public QObject
{
    Q_OBJECT
public:
    // Objects made by QML get no prompter; they ask Prompter::resolve() when they need one.
    explicit ContainerManager(QObject* parent = nullptr, Prompter* prompter = nullptr);

    // checkNewFiles() for callers that must tell an empty inbox from a server that gave no usable
    // answer: *answered is false when the reply was empty or not a JSON array.
    QVariantList fetchNewFiles(bool* answered);

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
    void serverClear(QString fileId, bool rejected);
    void cleared();

public slots:
    bool isDirWritable(QString dir);
    QString saveContainerDialog(QString defaultFilename = QString());
    QString openDirDialog(QString preferDir);
    QString openContainerDialog();
    void downloadById(QString fileId);
    bool extractContainer(QString containerPath);
    void shareContainer(QString containerPath, QVariantMap shareFileList, int cryptMethod, QString secret);
    void cancel();
    void showError(QString errorText);
    void showSuccess(QString successText);
    QVariantList checkNewFiles();
    QString defaultExtractPath();
    void openExtractFolder();

private slots:
    void onNetError(QNetworkReply::NetworkError code);
    void onUploadProgress(qlonglong bytesSent, qlonglong bytesTotal);
    void onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void writeDownloadReply();
    void downloadComplete(QString fileId, bool rejected);

private:
    struct PackEntry;
    enum class PackResult
    {
        Done,
        Canceled,
        Failed
    };

    Prompter* prompter();
    // ownContainer: the file is this object's own download and may be cut to its OpenPGP message.
    bool extract(const QString& containerPath, bool ownContainer);
    PackResult pack(const QString& path, const QList<PackEntry>& entries);
    void upload(const QString& path);

    Crypter* crypter;
    bool cancelRequested = false;
    QFile* downloadFile = nullptr;
    QNetworkReply* downloadReply = nullptr;
    QString lastExtractedFile;
    Prompter* m_prompter;
};

#include "containers/ContainerManager.h"

#include "containers/CompressionProbe.h"
#include "containers/ContainerFormat.h"
#include "containers/ContainerTrailer.h"
#include "containers/EntryPath.h"
#include "containers/PayloadReader.h"
#include "containers/PayloadWriter.h"
#include "gpg/Crypter.h"
#include "net/NetworkManager.h"
#include "net/ServerConfig.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUuid>

namespace {

const int requestTimeoutMs = 20000;
// The download reply holds at most this much before writeDownloadReply() moves it to disk, so a
// fast server cannot fill the memory while the GUI thread is busy elsewhere.
const qint64 downloadBufferBytes = 4 * 1024 * 1024;

const QString keyLastSaveContainer = QStringLiteral("fileDialogs/lastSaveContainer");
const QString keyLastOpenContainer = QStringLiteral("fileDialogs/lastOpenContainer");
const QString keyExtractPath = QStringLiteral("extractPath");
const QString keyDontOverwrite = QStringLiteral("dontOverwriteExistingFiles");
const QString keyUid = QStringLiteral("uid");

bool samePath(const QString& a, const QString& b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.absoluteFilePath() == second.absoluteFilePath())
        return true;
    const QString canonical = first.canonicalFilePath();
    return !canonical.isEmpty() && canonical == second.canonicalFilePath();
}

qint64 saturatingAdd(qint64 total, qint64 size)
{
    size = qMax<qint64>(0, size);
    return total > std::numeric_limits<qint64>::max() - size ? std::numeric_limits<qint64>::max()
                                                             : total + size;
}

QString temporaryName()
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/tessary-XXXXXX"));
    file.open();
    return file.fileName();
}

} // namespace

struct ContainerManager::PackEntry
{
    QString source;
    QString name;
    qint64 size = 0;
};

ContainerManager::ContainerManager(QObject* parent, Prompter* prompter)
    : QObject(parent)
    , crypter(new Crypter(this))
    , m_prompter(prompter)
{
    connect(crypter, &Crypter::error, this, &ContainerManager::error);
    connect(this, &ContainerManager::canceled, crypter, &Crypter::canceled);
    connect(this, &ContainerManager::serverClear, this, &ContainerManager::downloadComplete);
}

Prompter* ContainerManager::prompter()
{
    return Prompter::resolve(this, m_prompter);
}

bool ContainerManager::isDirWritable(QString dir)
{
    const QFileInfo info(dir);
    return !dir.isEmpty() && info.isDir() && info.isWritable();
}

QString ContainerManager::saveContainerDialog(QString defaultFilename)
{
    QSettings settings;
    const QString startDir = settings.value(keyLastSaveContainer, QDir::homePath()).toString();
    const QString path = prompter()->saveFileName(startDir, tr("Tessary container (*.tsyc)"),
                                                  QStringLiteral("tsyc"), defaultFilename);
    if (path.isEmpty())
        return QString();
    settings.setValue(keyLastSaveContainer, QFileInfo(path).path());
    settings.sync();
    return path;
}

QString ContainerManager::openDirDialog(QString preferDir)
{
    const QString startDir = isDirWritable(preferDir) ? preferDir : defaultExtractPath();
    return prompter()->existingDirectory(startDir);
}

QString ContainerManager::openContainerDialog()
{
    QSettings settings;
    const QString startDir = settings.value(keyLastOpenContainer, QDir::homePath()).toString();
    const QString path = prompter()->openFileName(startDir, tr("Tessary container (*.tsyc)"));
    if (path.isEmpty())
        return QString();
    settings.setValue(keyLastOpenContainer, QFileInfo(path).path());
    settings.sync();
    return path;
}

void ContainerManager::cancel()
{
    cancelRequested = true;
    emit canceled();
    emit finished();
}

void ContainerManager::showError(QString errorText)
{
    if (!cancelRequested)
        prompter()->message(Prompter::Icon::Critical, tr("Error"), errorText);
    cancelRequested = true;
    emit canceled();
    emit finished();
}

void ContainerManager::showSuccess(QString successText)
{
    prompter()->message(Prompter::Icon::Information, tr("Success"), successText);
}

QString ContainerManager::defaultExtractPath()
{
    const QDir dir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                   + QStringLiteral("/Tessary"));
    dir.mkpath(QStringLiteral("."));
    return dir.absolutePath();
}

void ContainerManager::openExtractFolder()
{
    const QString path = QDir::toNativeSeparators(lastExtractedFile);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    Platform::showInFileManager(path);
}

void ContainerManager::onNetError(QNetworkReply::NetworkError code)
{
    if (code == QNetworkReply::OperationCanceledError)
        return;
    const char* name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code);
    emit error(tr("Network error occured: %1").arg(QString::fromLatin1(name ? name : "")));
}

void ContainerManager::onUploadProgress(qlonglong bytesSent, qlonglong bytesTotal)
{
    emit progressInit(0, float(bytesTotal), QString());
    emit progressValueChanged(bytesTotal > 0 ? float(bytesSent) : -1.0f);
}

void ContainerManager::onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    onUploadProgress(bytesReceived, bytesTotal);
}

// ---- Sending ----

void ContainerManager::shareContainer(QString containerPath, QVariantMap shareFileList, int cryptMethod,
                                      QString secret)
{
    cancelRequested = false;
    emit encryptionStart();
    emit progressInit(0, float(shareFileList.size()), tr("Calculating total size"));

    QList<PackEntry> entries;
    qint64 total = 0;
    if (cancelRequested)
        return;
    for (auto it = shareFileList.cbegin(); it != shareFileList.cend(); ++it) {
        PackEntry entry;
        entry.source = it.value().toString();
        entry.name = it.key();
        entry.size = QFileInfo(entry.source).size();
        total = saturatingAdd(total, entry.size);
        entries.append(entry);
        emit progressValueChanged(float(entries.size()));
        QCoreApplication::processEvents();
        if (entries.size() < shareFileList.size() && cancelRequested)
            return;
    }
    emit progressInit(0, float(total), tr("Packing data"));

    const QString path = containerPath.isEmpty() ? temporaryName() : containerPath;
    // Decided before packing: a source equal to the path is still the user's file then.
    QList<QPair<QString, qint64>> sources;
    sources.reserve(entries.size());
    for (const PackEntry& entry : entries)
        sources.append({entry.source, entry.size});
    const int compressLevel = CompressionProbe::compressionLevel(sources);
    if (pack(path, entries) != PackResult::Done)
        return;

    emit progressInit(0, 0, QString());
    emit progressValueChanged(-1);
    const QString encrypted = path + QStringLiteral(".encrypted");
    bool encryptedOk = crypter->crypt(path, encrypted, cryptMethod, secret, true, -1, compressLevel);
    QFile::remove(path);
    encryptedOk = QFile::rename(encrypted, path) && encryptedOk;
    QFile::remove(encrypted);
    if (!encryptedOk || cancelRequested) {
        QFile::remove(path);
        emit error(tr("Cannot encrypt data"));
        return;
    }

    QFile container(path);
    const QByteArray trailer = ContainerTrailer::encode(cryptMethod, secret);
    if (!container.open(QIODevice::Append) || container.write(trailer) != trailer.size()
        || !container.flush()) {
        container.close();
        QFile::remove(path);
        emit error(tr("Error while write %1").arg(path));
        return;
    }
    container.close();

    if (!containerPath.isEmpty()) {
        emit success(QString(), QFileInfo(path).size());
        emit finished();
        return;
    }
    upload(path);
}

ContainerManager::PackResult ContainerManager::pack(const QString& path, const QList<PackEntry>& entries)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        emit error(tr("Cannot open %1 for writing").arg(path));
        return PackResult::Failed;
    }
    auto writeFailed = [&] {
        out.close();
        out.remove();
        emit error(tr("Error while write %1").arg(path));
        return PackResult::Failed;
    };

    QVector<PayloadRecord> records;
    records.reserve(entries.size());
    for (const PackEntry& entry : entries)
        records.append({entry.name, entry.size});
    PayloadWriter writer(&out);
    QString badName;
    if (!writer.writeHeader(records, &badName)) {
        if (badName.isEmpty())
            return writeFailed();
        out.close();
        out.remove();
        emit error(tr("The name %1 is too long for a container").arg(badName));
        return PackResult::Failed;
    }

    QByteArray buffer(ContainerFormat::chunkSize, Qt::Uninitialized);
    qint64 done = 0;
    for (int i = 0; i < entries.size(); ++i) {
        const PackEntry& entry = entries.at(i);
        // The container itself cannot be one of its entries: its bytes are being written. The
        // entry stays listed, empty, so that every entry's chunks add up to its header size.
        if (samePath(entry.source, path)) {
            if (entry.size != 0 && !writer.patchSize(i, 0))
                return writeFailed();
            done = saturatingAdd(done, entry.size);
            continue;
        }
        QFile source(entry.source);
        if (!source.open(QIODevice::ReadOnly)) {
            out.close();
            emit error(tr("Cannot open %1 for reading").arg(entry.source));
            return PackResult::Failed;
        }
        // At most the measured size is packed, and a file that shrank since it was measured gets
        // its header size corrected: the header must match the chunks or the receiver misreads
        // every entry that follows. The limit also ends the loop for a source that never ends.
        qint64 packed = 0;
        while (!source.atEnd() && packed < entry.size) {
            if (cancelRequested) {
                source.close();
                out.close();
                out.remove();
                return PackResult::Canceled;
            }
            const qint64 n
                = source.read(buffer.data(), qMin<qint64>(ContainerFormat::chunkSize, entry.size - packed));
            if (n <= 0)
                break;
            if (!writer.writeChunk(buffer.constData(), int(n)))
                return writeFailed();
            packed += n;
            done += n;
            emit progressValueChanged(float(done));
            QCoreApplication::processEvents();
        }
        source.close();
        if (packed != entry.size && !writer.patchSize(i, packed))
            return writeFailed();
    }
    if (!out.flush())
        return writeFailed();
    out.close();
    return PackResult::Done;
}

void ContainerManager::upload(const QString& path)
{
    const qint64 size = QFileInfo(path).size();
    {
        const QJsonObject body {{QStringLiteral("size"), double(size)}};
        NetworkManager network;
        const QByteArray reply
            = network.request(QStringLiteral("/can-upload"),
                              QJsonDocument(body).toJson(QJsonDocument::Compact), requestTimeoutMs);
        const QJsonObject answer = QJsonDocument::fromJson(reply).object();
        if (answer.value(QStringLiteral("success")) != QJsonValue(true)) {
            QFile::remove(path);
            emit error(answer.contains(QStringLiteral("error"))
                           ? answer.value(QStringLiteral("error")).toString()
                           : tr("Invalid server response"));
            return;
        }
    }
    // A cancel that arrived while the server was asked would otherwise be lost: the reply below is
    // connected to canceled() only from now on.
    if (cancelRequested) {
        QFile::remove(path);
        emit finished();
        return;
    }

    emit uploadingStart();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QFile::remove(path);
        emit error(tr("Cannot open %1 for reading").arg(path));
        emit finished();
        return;
    }
    QHttpMultiPart multiPart(QHttpMultiPart::FormDataType);
    QHttpPart containerPart;
    containerPart.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    containerPart.setHeader(QNetworkRequest::ContentDispositionHeader,
                            QStringLiteral("form-data; name=\"container\"; filename=\"container\""));
    containerPart.setBodyDevice(&file);
    multiPart.append(containerPart);
    QHttpPart uidPart;
    uidPart.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"uid\""));
    uidPart.setBody(QSettings().value(keyUid).toUuid().toString().toLatin1());
    multiPart.append(uidPart);

    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(serverBaseUrl() + QStringLiteral("/upload-container")));
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = manager.post(request, &multiPart);

    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(reply, &QNetworkReply::errorOccurred, this, &ContainerManager::onNetError);
    connect(reply, &QNetworkReply::uploadProgress, this, &ContainerManager::onUploadProgress);
    const auto abortConnection = connect(this, &ContainerManager::canceled, reply, &QNetworkReply::abort);
    if (!reply->isFinished())
        loop.exec();
    disconnect(abortConnection);

    emit progressInit(0, 0, QString());
    emit progressValueChanged(0);
    if (!cancelRequested) {
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        if (answer.contains(QStringLiteral("error"))) {
            emit error(answer.value(QStringLiteral("error")).toString());
        } else if (answer.contains(QStringLiteral("fileId"))) {
            const QJsonValue value = answer.value(QStringLiteral("fileId"));
            const qint64 fileId = value.isDouble() ? qint64(value.toDouble()) : 0;
            if (fileId > 0) {
                emit finished();
                emit success(QString::number(fileId), size);
                reply->deleteLater();
                file.close();
                QFile::remove(path);
                return;
            }
            emit error(tr("Invalid file id in response"));
        }
    }
    reply->deleteLater();
    file.close();
    QFile::remove(path);
    emit finished();
}

// ---- Extracting ----

bool ContainerManager::extractContainer(QString containerPath)
{
    return extract(containerPath, false);
}

bool ContainerManager::extract(const QString& containerPath, bool ownContainer)
{
    QSettings settings;
    const QString extractPath = settings.value(keyExtractPath).toString();
    const bool keepExisting = settings.value(keyDontOverwrite, false).toBool();

    emit start();
    if (!isDirWritable(extractPath)) {
        emit error(tr("Directory %1 is not writable").arg(extractPath));
        emit finished();
        return false;
    }
    QFile container(containerPath);
    if (!container.open(QIODevice::ReadOnly)) {
        emit error(tr("Cannot open %1 for reading").arg(containerPath));
        emit finished();
        return false;
    }
    const ContainerTrailer trailer = ContainerTrailer::read(container);
    container.close();
    QString secret;
    if (trailer.method == ContainerFormat::methodPublicKey) {
        secret = trailer.fingerprint;
    } else if (trailer.method == ContainerFormat::methodPassword) {
        while (secret.isEmpty()) {
            bool ok = false;
            secret = prompter()->password(tr("Enter password"), &ok);
            if (!ok) {
                emit finished();
                return false;
            }
        }
    }

    emit decryptionStart();
    emit info(tr("Decrypting container"));
    emit progressInit(0, 0, QString());
    emit progressValueChanged(-1);

    // gpg is given the OpenPGP message alone: with the trailer behind it, it reports a failed
    // integrity check that could not be told apart from a tampered container. Our own download may
    // simply be cut; a user's file is never changed, so the engine reads just the message from it.
    const QString decrypted = containerPath + QStringLiteral(".decrypted");
    bool decryptedOk = false;
    const bool knownMethod = trailer.method == ContainerFormat::methodPublicKey
        || trailer.method == ContainerFormat::methodPassword;
    if (knownMethod && trailer.messageLength > 0 && !secret.isEmpty()) {
        if (ownContainer) {
            decryptedOk = QFile::resize(containerPath, trailer.messageLength)
                && crypter->crypt(containerPath, decrypted, trailer.method, secret, false);
        } else {
            decryptedOk = crypter->crypt(containerPath, decrypted, trailer.method, secret, false,
                                         trailer.messageLength);
        }
    }
    if (!decryptedOk) {
        QFile::remove(decrypted);
        emit error(tr("Cannot decrypt container"));
        emit finished();
        return false;
    }

    // The payload is read through two handles: one walks the header records, the other the data
    // runs behind them, so no list of records is held however many the header announces.
    QFile headerFile(decrypted);
    QFile dataFile(decrypted);
    auto fail = [&](const QString& text) {
        headerFile.close();
        dataFile.close();
        QFile::remove(decrypted);
        emit error(text);
        emit finished();
        return false;
    };
    if (!headerFile.open(QIODevice::ReadOnly) || !dataFile.open(QIODevice::ReadOnly))
        return fail(tr("Cannot open %1 for reading").arg(decrypted));
    PayloadReader header(&headerFile);
    switch (header.readStart()) {
    case PayloadReader::Status::InvalidHeader:
        return fail(tr("Invalid container header"));
    case PayloadReader::Status::UnknownVersion:
        return fail(tr("Unknown container version"));
    case PayloadReader::Status::Ok:
        break;
    }

    // Every record must be there before anything is written.
    qint64 total = 0;
    QString firstName;
    for (qint32 i = 0; i < header.entryCount(); ++i) {
        PayloadRecord record;
        if (!header.readRecord(&record))
            return fail(tr("Invalid container header"));
        total = saturatingAdd(total, record.size);
        if (i == 0)
            firstName = record.name;
        if (i % 4096 == 4095)
            QCoreApplication::processEvents();
    }
    if (!dataFile.seek(headerFile.pos()) || !headerFile.seek(ContainerFormat::startLength))
        return fail(tr("Cannot open %1 for reading").arg(decrypted));
    lastExtractedFile = header.entryCount() > 0 ? EntryPath::destination(extractPath, firstName) : QString();

    emit progressInit(0, float(total), QString());
    qint64 offset = 0;
    PayloadReader data(&dataFile);
    QByteArray chunk;
    auto discardRun = [&] {
        while (data.skipChunk()) {
            emit progressValueChanged(float(offset + data.runTaken()));
            QCoreApplication::processEvents();
        }
    };
    for (qint32 i = 0; i < header.entryCount(); ++i) {
        PayloadRecord record;
        header.readRecord(&record);
        data.beginRun(record.size);
        const QString destination = EntryPath::destination(extractPath, record.name);
        if (destination.isEmpty() || samePath(destination, containerPath)
            || samePath(destination, decrypted)) {
            emit warn(tr("Unsafe file name. Skipping %1").arg(record.name));
            discardRun();
            offset = saturatingAdd(offset, record.size);
            continue;
        }
        emit info(tr("Extracting %1").arg(destination));
        if (QFile::exists(destination)) {
            if (keepExisting) {
                emit warn(tr("File already exists. Skipping"));
                discardRun();
                offset = saturatingAdd(offset, record.size);
                continue;
            }
            emit warn(tr("File already exists. Overwriting"));
        }
        QDir().mkpath(QFileInfo(destination).absolutePath());
        QFile out(destination);
        bool writeFailed = false;
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            emit warn(tr("Error while write %1").arg(destination));
            writeFailed = true;
        }
        while (data.nextChunk(&chunk)) {
            if (!writeFailed && out.write(chunk) != chunk.size()) {
                emit warn(tr("Error while write %1").arg(destination));
                writeFailed = true;
            }
            emit progressValueChanged(float(offset + data.runTaken()));
            QCoreApplication::processEvents();
        }
        out.close();
        offset = saturatingAdd(offset, record.size);
    }

    headerFile.close();
    dataFile.close();
    QFile::remove(decrypted);
    emit finished();
    return true;
}

// ---- Receiving ----

QVariantList ContainerManager::checkNewFiles()
{
    bool answered = false;
    return fetchNewFiles(&answered);
}

QVariantList ContainerManager::fetchNewFiles(bool* answered)
{
    NetworkManager network;
    const QByteArray reply
        = network.request(QStringLiteral("/check-new-files"), QByteArrayLiteral("CHECK"), requestTimeoutMs);
    const QJsonDocument document = QJsonDocument::fromJson(reply);
    *answered = document.isArray();
    return document.array().toVariantList();
}

void ContainerManager::downloadById(QString fileId)
{
    cancelRequested = false;
    // The temporary file only reserves a unique name; the download goes to a new file beside it.
    QTemporaryFile reserved(QDir::tempPath() + QStringLiteral("/tessary-XXXXXX"));
    reserved.open();
    const QString path = reserved.fileName() + QStringLiteral("_");
    reserved.close();

    emit start();
    downloadFile = new QFile(path);
    downloadFile->open(QIODevice::WriteOnly);
    emit info(tr("Downloading crypted container"));

    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(serverBaseUrl() + QStringLiteral("/id") + fileId));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    downloadReply = manager.get(request);
    downloadReply->setReadBufferSize(downloadBufferBytes);

    QEventLoop loop;
    connect(downloadReply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(downloadReply, &QNetworkReply::errorOccurred, this, &ContainerManager::onNetError);
    connect(downloadReply, &QNetworkReply::downloadProgress, this, &ContainerManager::onDownloadProgress);
    connect(downloadReply, &QNetworkReply::readyRead, this, &ContainerManager::writeDownloadReply);
    const auto abortConnection
        = connect(this, &ContainerManager::canceled, downloadReply, &QNetworkReply::abort);
    if (!downloadReply->isFinished())
        loop.exec();
    disconnect(abortConnection);
    writeDownloadReply();
    downloadFile->close();

    if (cancelRequested)
        emit warn(QStringLiteral("Canceled"));
    downloadReply->deleteLater();
    downloadReply = nullptr;
    if (!cancelRequested && extract(path, true))
        emit serverClear(fileId, false);

    QFile::remove(path);
    delete downloadFile;
    downloadFile = nullptr;
    emit finished();
}

void ContainerManager::writeDownloadReply()
{
    if (!downloadReply || !downloadFile || !downloadReply->isOpen())
        return;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = downloadReply->read(buffer, sizeof(buffer));
        if (n <= 0)
            break;
        downloadFile->write(buffer, n);
    }
}

void ContainerManager::downloadComplete(QString fileId, bool rejected)
{
    QByteArray body(1, rejected ? '\x01' : '\x00');
    body.append(fileId.toUtf8());
    NetworkManager network;
    network.request(QStringLiteral("/download-complete"), body, requestTimeoutMs);
    emit cleared();
}

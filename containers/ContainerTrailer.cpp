#include "containers/ContainerTrailer.h"

#include "containers/ContainerFormat.h"

#include <QFile>

ContainerTrailer ContainerTrailer::read(QFile& container)
{
    ContainerTrailer trailer;
    const qint64 size = container.size();
    char method = 0;
    if (size < 1 || !container.seek(size - 1) || !container.getChar(&method))
        return trailer;
    trailer.method = qint8(method);
    trailer.messageLength = size - 1;
    if (trailer.method == ContainerFormat::methodPublicKey) {
        trailer.messageLength -= ContainerFormat::fingerprintBytes;
        if (trailer.messageLength >= 0 && container.seek(trailer.messageLength)) {
            const QByteArray fpr = container.read(ContainerFormat::fingerprintBytes);
            if (fpr.size() == ContainerFormat::fingerprintBytes)
                trailer.fingerprint = QString::fromLatin1(fpr.toHex().toUpper());
        }
    }
    return trailer;
}

QByteArray ContainerTrailer::encode(int method, const QString& secret)
{
    QByteArray bytes;
    if (method == ContainerFormat::methodPublicKey)
        bytes = QByteArray::fromHex(secret.toLatin1());
    bytes.append(char(method & 0xFF));
    return bytes;
}

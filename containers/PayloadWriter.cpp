#include "containers/PayloadWriter.h"

#include <QtEndian>

namespace {

template<typename T> QByteArray bigEndian(T value)
{
    QByteArray bytes(int(sizeof(T)), Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

} // namespace

bool PayloadWriter::isWritableName(const QString& name)
{
    return !name.contains(QChar(0)) && name.toUtf8().size() <= ContainerFormat::maxNameBytes;
}

QByteArray PayloadWriter::header(const QVector<PayloadRecord>& records, QString* badName)
{
    QByteArray bytes = bigEndian<qint32>(ContainerFormat::magic);
    bytes.append(char(ContainerFormat::version));
    bytes.append(bigEndian<qint32>(qint32(records.size())));
    for (const PayloadRecord& record : records) {
        if (!isWritableName(record.name)) {
            if (badName)
                *badName = record.name;
            return QByteArray();
        }
        const QByteArray name = record.name.toUtf8();
        bytes.append(bigEndian<quint32>(quint32(name.size())));
        bytes.append(name);
        bytes.append(bigEndian<qint64>(record.size));
    }
    return bytes;
}

QByteArray PayloadWriter::chunkPrefix(int length)
{
    Q_ASSERT(length >= 0 && length <= ContainerFormat::chunkSize);
    return bigEndian<quint32>(quint32(length));
}

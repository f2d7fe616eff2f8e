#pragma once

#include "containers/ContainerFormat.h"

#include <QByteArray>
#include <QVector>

// The bytes of a payload: the start (magic, version, entry count) with the header records, and the
// length that goes in front of every chunk of a data run.
namespace PayloadWriter {

// Magic, version, count and one record per entry. Empty when a name is longer than the reader
// accepts or holds a NUL character (*badName tells which).
QByteArray header(const QVector<PayloadRecord>& records, QString* badName = nullptr);
// The 32-bit length before a chunk; length must not exceed ContainerFormat::chunkSize.
QByteArray chunkPrefix(int length);
// A name the reader would not give back unchanged.
bool isWritableName(const QString& name);

} // namespace PayloadWriter

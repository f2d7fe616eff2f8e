#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// The plain bytes behind the OpenPGP message of a container: for the public-key method the
// recipient's fingerprint as 20 raw bytes, then one byte naming the method.
class ContainerTrailer
{
public:
    // The method byte read as a signed byte; 0 when the file is empty.
    int method = 0;
    // Method 1: the recipient key's fingerprint, 40 upper-case hexadecimal digits.
    QString fingerprint;
    // Length of the OpenPGP message in front of the trailer; 0 or less when the file is too short
    // to hold one.
    qint64 messageLength = 0;

    // Reads the trailer of an open container file. The file position is left undefined.
    static ContainerTrailer read(QFile& container);
    // The trailer for a container encrypted with method and secret (the fingerprint for method 1).
    static QByteArray encode(int method, const QString& secret);
};

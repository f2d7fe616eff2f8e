#include "gpg/DecryptionStatus.h"

DecryptionStatus DecryptionStatus::parse(const QByteArrayList& lines)
{
    DecryptionStatus status;
    bool okay = false, failed = false, protectedMessage = false;
    auto current = [&status]() -> Signature& {
        if (status.signatures.isEmpty())
            status.signatures.append(Signature());
        return status.signatures.last();
    };
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray& keyword = words.first();
        if (keyword == "DECRYPTION_OKAY") {
            okay = true;
        } else if (keyword == "DECRYPTION_FAILED" || keyword == "BADMDC") {
            failed = true;
        } else if (keyword == "GOODMDC") {
            protectedMessage = true;
        } else if (keyword == "DECRYPTION_INFO") {
            // DECRYPTION_INFO <mdc_method> <sym_algo> [<aead_algo>]
            protectedMessage |= words.value(1, "0") != "0" || words.value(3, "0") != "0";
        } else if (keyword == "NEWSIG") {
            status.signatures.append(Signature());
        } else if (keyword == "GOODSIG") {
            current().outcome = Signature::Outcome::Good;
        } else if (keyword == "BADSIG") {
            current().outcome = Signature::Outcome::Bad;
        } else if (keyword == "ERRSIG") {
            // ERRSIG <keyid> <pkalgo> <hashalgo> <sig_class> <time> <rc> [<fpr>]
            current().outcome = Signature::Outcome::Unchecked;
            current().fingerprint = QString::fromLatin1(words.value(7));
        } else if (keyword == "EXPSIG" || keyword == "EXPKEYSIG" || keyword == "REVKEYSIG") {
            current().outcome = Signature::Outcome::Invalid;
        } else if (keyword == "VALIDSIG") {
            // VALIDSIG <fpr> <date> <timestamp> <expires> <version> <reserved> <pkalgo> <hashalgo>
            // <class> [<primary_fpr>]: a subkey's signature names its primary key last.
            current().fingerprint = QString::fromLatin1(words.size() > 10 ? words.at(10) : words.value(1));
        }
    }
    status.intact = okay && !failed && protectedMessage;
    return status;
}

#pragma once

#include "models/BaseKeysModel.h"

#include <QVariantMap>

class RelayClient;

// The contacts: the rows of key_data without a secret key, sorted by title. Adding and renaming go
// through the relay and report by signal.
class PubKeysModel : public BaseKeysModel
{
    Q_OBJECT
    // Goes up whenever the contacts are read again (added, renamed, removed): a binding that shows
    // contactTitle() reads it too, so that it follows at once.
    Q_PROPERTY(int revision READ revision NOTIFY contactsChanged)
public:
    explicit PubKeysModel(QObject* parent = nullptr, QSqlDatabase db = QSqlDatabase());

    // The contact's title, or the key id when it has none or is no contact.
    static QString displayName(const QString& keyId);
    // Why a key id typed by a person cannot be a new contact, or empty. Blanks and punctuation
    // between the digits are fine; letters are not, nor nothing, nor the user's own id.
    static QString contactIdError(const QString& keyId);

    int revision() const { return m_revision; }

signals:
    void error(QString text);
    void contactError(QString text);
    void contactNotFound();
    void contactAdded(QString keyId);
    void keyTitleSet(QString keyId);
    void contactsChanged();
    void keyAccepted(QString keyId);

public slots:
    bool select() override;
    bool deletePubKey(int index);
    // Asks the relay for the contact and stores it with its key pinned: contactAdded(), or error()
    // with contactNotFound(), or contactError() when it cannot be one (then before any request), is a
    // contact already or its key unusable.
    void addPubKey(QString keyId);
    // Renames the contact on the relay and here: keyTitleSet() or error().
    void setKeyTitle(QString keyId, QString title);
    QVariantMap contactDetails(int index);
    QString contactTitle(QString keyId);
    // Pins the key the relay offers now for the contact, if it has this fingerprint: keyAccepted(),
    // or error(). The contact is not verified then.
    void acceptKey(QString keyId, QString fingerprint);
    bool setVerified(QString keyId, bool verified);
    // "fingerprint" and "safetyNumber" (grouped, empty while no key is pinned), "verified" (bool)
    // and "trust" (a line to show).
    QVariantMap keyDetails(QString keyId);
    QString trustText(QString keyId);

private:
    RelayClient* m_relay;
    int m_revision = 0;
};

#pragma once

#include "models/BaseKeysModel.h"

#include <QVariantMap>

#include <functional>

class RelayCall;
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

    // Fetches the contact's current key from the relay and stores it with the contact; done gets
    // its fingerprint, or a null one and the reason.
    static RelayCall* fetchKey(RelayClient* relay, const QString& keyId, QObject* context,
                               std::function<void(const QString& fpr, const QString& error)> done);
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

public slots:
    bool select() override;
    bool deletePubKey(int index);
    // Asks the relay for the contact and stores it: contactAdded(), or error() with
    // contactNotFound(), or contactError() when it cannot be one (then before any request) or is a
    // contact already.
    void addPubKey(QString keyId);
    // Renames the contact on the relay and here: keyTitleSet() or error().
    void setKeyTitle(QString keyId, QString title);
    QVariantMap contactDetails(int index);
    QString contactTitle(QString keyId);

private:
    RelayClient* m_relay;
    int m_revision = 0;
};

#pragma once

#include "containers/StagingFolder.h"

#include <QObject>
#include <QTranslator>
#include <QVariantMap>

class RelayClient;

// The native object behind the settings page: interface languages, start at logon, what to do with
// received files whose names are taken, feedback.
class AppSettings : public QObject
{
    Q_OBJECT
    // "keepBoth", "overwrite" or "keep", for the settings page.
    Q_PROPERTY(
        QString existingFiles READ existingFilesName WRITE setExistingFilesName NOTIFY existingFilesChanged)
public:
    explicit AppSettings(QObject* parent = nullptr);

    // The stored policy for received files whose names are taken in the extraction folder. Before
    // it had three choices, "dontOverwriteExistingFiles" chose between keeping and overwriting; a
    // stored one still counts. With neither stored, both files are kept.
    static StagingFolder::ExistingFiles existingFiles();
    QString existingFilesName() const;
    void setExistingFilesName(const QString& name);

signals:
    // ok: the server confirmed the message.
    void feedbackSent(bool ok);
    void existingFilesChanged();

public slots:
    // Locale name -> {"title", "nativeTitle", "icon"} for English and every "*.qm" in the i18n folder.
    QVariantMap locales();
    // Installs the translation for locale from the i18n folder (an empty one when none is found).
    void setLocale(QString locale);
    // Adds or removes the per-user start-at-logon entry for this program.
    void setAutorun(bool autorun);
    // Sends a message to the server; feedbackSent() tells how it went.
    void sendFeedback(QString name, QString email, QString message);
    // "1.5 MB", "980 KB" in the number format of the interface's language.
    QString formatSize(double bytes) const { return sizeText(bytes); }

public:
    static QString sizeText(double bytes);

private:
    QString i18nDir;
    QTranslator translator;
    RelayClient* m_relay;
};

#pragma once

#include <QObject>
#include <QTranslator>
#include <QVariantMap>

class RelayClient;

// The native object behind the settings page: interface languages, start at logon, feedback.
class AppSettings : public QObject
{
    Q_OBJECT
public:
    explicit AppSettings(QObject* parent = nullptr);

signals:
    // ok: the server confirmed the message.
    void feedbackSent(bool ok);

public slots:
    // Locale name -> {"title", "nativeTitle", "icon"} for English and every "*.qm" in the i18n folder.
    QVariantMap locales();
    // Installs the translation for locale from the i18n folder (an empty one when none is found).
    void setLocale(QString locale);
    // Adds or removes the per-user start-at-logon entry for this program.
    void setAutorun(bool autorun);
    // Sends a message to the server; feedbackSent() tells how it went.
    void sendFeedback(QString name, QString email, QString message);

private:
    QString i18nDir;
    QTranslator translator;
    RelayClient* m_relay;
};

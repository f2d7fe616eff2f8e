#include "app/AppSettings.h"

#include "net/RelayClient.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

AppSettings::AppSettings(QObject* parent)
    : QObject(parent)
    , i18nDir(QCoreApplication::applicationDirPath() + QStringLiteral("/i18n"))
    , m_relay(new RelayClient(this))
{
}

QVariantMap AppSettings::locales()
{
    // English is the language of the source texts, so it is always offered.
    QStringList names {QStringLiteral("en_GB")};
    const QStringList files = QDir(i18nDir).entryList({QStringLiteral("*.qm")}, QDir::Files);
    for (const QString& file : files)
        names.append(file.section(QLatin1Char('.'), 0, 0));

    QVariantMap result;
    for (const QString& name : qAsConst(names)) {
        const QLocale locale(name);
        const QString title = QLocale::languageToString(locale.language());
        result.insert(name,
                      QVariantMap {
                          {QStringLiteral("title"), title},
                          {QStringLiteral("nativeTitle"), locale.nativeLanguageName()},
                          {QStringLiteral("icon"),
                           QStringLiteral("assets/lang/") + title.toLower() + QStringLiteral(".svg")},
                      });
    }
    return result;
}

void AppSettings::setLocale(QString locale)
{
    QCoreApplication::removeTranslator(&translator);
    // A failed load leaves the translator empty, so the English source texts show.
    (void)translator.load(locale, i18nDir);
    QCoreApplication::installTranslator(&translator);
}

void AppSettings::setAutorun(bool autorun)
{
    Platform::setAutorun(autorun, QCoreApplication::applicationFilePath());
}

void AppSettings::sendFeedback(QString name, QString email, QString message)
{
    m_relay->sendFeedback(name, email, message, this,
                          [this](const RelayClient::Result<bool>& sent) { emit feedbackSent(sent.value); });
}

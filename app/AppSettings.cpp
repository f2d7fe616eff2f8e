#include "app/AppSettings.h"

#include "net/RelayClient.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QSettings>

namespace {

const QString existingFilesKey = QStringLiteral("existingFiles");
const QString oldExistingFilesKey = QStringLiteral("dontOverwriteExistingFiles");
const QStringList existingFilesNames {QStringLiteral("overwrite"), QStringLiteral("keep"),
                                      QStringLiteral("keepBoth")}; // in the order of the enum

} // namespace

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
    for (const QString& file : files) {
        // The English translation only polishes the source texts: it is no language of its own.
        const QString name = file.section(QLatin1Char('.'), 0, 0);
        if (QLocale(name).language() != QLocale::English)
            names.append(name);
    }

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
    // Numbers and dates follow the interface's language, wherever they are written.
    QLocale::setDefault(QLocale(locale));
    QCoreApplication::removeTranslator(&translator);
    // Languages without a translation get the polished English; without that too, the translator
    // stays empty and the source texts show.
    if (!translator.load(locale, i18nDir))
        (void)translator.load(QStringLiteral("en"), i18nDir);
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

QString AppSettings::sizeText(double bytes)
{
    // Two decimals at most, and none that are zero: "1.5 MB", "1,024 KB".
    auto number = [](double value) {
        return QLocale().toString(qRound64(value * 100) / 100.0, 'f', QLocale::FloatingPointShortest);
    };
    if (bytes > 1048576)
        return tr("%1 Mb").arg(number(bytes / 1048576));
    return tr("%1 Kb").arg(number(bytes / 1024));
}

StagingFolder::ExistingFiles AppSettings::existingFiles()
{
    const QSettings settings;
    const int stored = existingFilesNames.indexOf(settings.value(existingFilesKey).toString());
    if (stored >= 0)
        return StagingFolder::ExistingFiles(stored);
    if (settings.contains(oldExistingFilesKey))
        return settings.value(oldExistingFilesKey).toBool() ? StagingFolder::ExistingFiles::Keep
                                                            : StagingFolder::ExistingFiles::Overwrite;
    return StagingFolder::ExistingFiles::KeepBoth;
}

QString AppSettings::existingFilesName() const
{
    return existingFilesNames.at(int(existingFiles()));
}

void AppSettings::setExistingFilesName(const QString& name)
{
    if (!existingFilesNames.contains(name))
        return;
    const bool changed = name != existingFilesName();
    // Stored even when it is what the old key said: a choice made here outlives that key.
    QSettings settings;
    settings.setValue(existingFilesKey, name);
    settings.sync();
    if (changed)
        emit existingFilesChanged();
}

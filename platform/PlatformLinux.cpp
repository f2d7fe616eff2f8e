#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

// There is no updater service on Linux: packages are updated by the system's package manager.
Platform::UpdaterStatus Platform::ensureUpdater(const QString&)
{
    return UpdaterStatus::Ready;
}

QString Platform::autorunLocation()
{
    // The per-user XDG autostart folder: $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/tessary.desktop");
}

void Platform::setAutorun(bool enabled, const QString& programPath)
{
    const QString entry = autorunLocation();
    if (!enabled) {
        QFile::remove(entry);
        return;
    }
    QDir().mkpath(QFileInfo(entry).absolutePath());
    // Exec takes a command line; quoting the path keeps blanks and special characters intact.
    QString quoted = programPath;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""))
        .replace(QLatin1Char('`'), QStringLiteral("\\`"))
        .replace(QLatin1Char('$'), QStringLiteral("\\$"));
    // TryExec takes the bare path; with it the entry does nothing once the program is removed.
    QString path = programPath;
    path.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    QSaveFile file(entry);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Tessary\n"
                                        "Comment=Secure file exchange client\n"
                                        "TryExec=%1\n"
                                        "Exec=\"%2\"\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(path, quoted);
    file.write(text.toUtf8());
    file.commit();
}

void Platform::showInFileManager(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return;
    // The freedesktop file manager interface selects the item; not every desktop offers it, so fall
    // back to opening the folder that holds it.
    const QString uri = QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded);
    const bool selected
        = QProcess::startDetached(QStringLiteral("dbus-send"),
                                  {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                                   QStringLiteral("--dest=org.freedesktop.FileManager1"),
                                   QStringLiteral("/org/freedesktop/FileManager1"),
                                   QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
                                   QStringLiteral("array:string:") + uri, QStringLiteral("string:")});
    if (!selected)
        QProcess::startDetached(QStringLiteral("xdg-open"), {info.absolutePath()});
}

QString Platform::instanceServerName(const QString& dataDir)
{
    // A socket in the owner-only data folder: nobody else can take the name or reach it.
    return dataDir + QStringLiteral("/window.socket");
}

bool Platform::replaceFile(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

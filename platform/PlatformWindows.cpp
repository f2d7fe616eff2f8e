#include "platform/Platform.h"

// Windows: the updater service "Tessary updater" installed and started through the elevated
// "updater.exe", the HKCU Run key, and explorer.exe /select. Not built on other systems.

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>

#include <shellapi.h>
#include <windows.h>

namespace {
const char* const runKey = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

bool launchElevated(const QString& program, const QString& arguments)
{
    const std::wstring file = QDir::toNativeSeparators(program).toStdWString();
    const std::wstring params = arguments.toStdWString();
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_UNICODE;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = arguments.isEmpty() ? nullptr : params.c_str();
    info.nShow = SW_HIDE;
    info.lpClass = L".exe";
    return ShellExecuteExW(&info);
}

// Queries the service control manager for "Tessary updater".
void serviceState(bool* installed, bool* running)
{
    *installed = *running = false;
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!scm)
        return;
    SC_HANDLE service = OpenServiceW(scm, L"Tessary updater", SERVICE_QUERY_STATUS);
    if (service) {
        *installed = true;
        SERVICE_STATUS status = {};
        if (QueryServiceStatus(service, &status))
            *running = status.dwCurrentState == SERVICE_RUNNING;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(scm);
}
} // namespace

Platform::UpdaterStatus Platform::ensureUpdater(const QString& applicationDir)
{
    const QString updater = applicationDir + QStringLiteral("/updater.exe");
    if (!QFile::exists(updater))
        return UpdaterStatus::FilesMissing;
    bool installed = false;
    bool running = false;
    serviceState(&installed, &running);
    if (!installed) {
        if (!launchElevated(updater, QStringLiteral("-i")))
            return UpdaterStatus::LaunchFailed;
        QThread::msleep(1000);
    }
    serviceState(&installed, &running);
    if (!running && !launchElevated(updater, QString()))
        return UpdaterStatus::LaunchFailed;
    return UpdaterStatus::Ready;
}

QString Platform::autorunLocation()
{
    return QString::fromLatin1(runKey) + QStringLiteral("\\Tessary");
}

void Platform::setAutorun(bool enabled, const QString& programPath)
{
    QSettings settings(QString::fromLatin1(runKey), QSettings::NativeFormat);
    if (enabled)
        settings.setValue(QStringLiteral("Tessary"), QDir::toNativeSeparators(programPath));
    else
        settings.remove(QStringLiteral("Tessary"));
    settings.sync();
}

void Platform::showInFileManager(const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    if (!QFile::exists(native))
        return;
    std::wstring command = QStringLiteral("explorer.exe /select,\"%1\"").arg(native).toStdWString();
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
}

bool Platform::replaceFile(const QString& from, const QString& to)
{
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING);
}

QString Platform::instanceServerName(const QString& dataDir)
{
    // Pipe names are global: the user and the data folder make this one the user's own.
    const QByteArray key = (qEnvironmentVariable("USERNAME") + QLatin1Char('|') + dataDir).toUtf8();
    return QStringLiteral("tessary-")
        + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex());
}

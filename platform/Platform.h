#pragma once

#include <QString>

// Operating-system facilities. One implementation per system, chosen by the build.
class Platform
{
public:
    enum class UpdaterStatus
    {
        Ready, // nothing (more) to do, start-up goes on
        FilesMissing, // the updater program is not beside the application
        LaunchFailed // the updater could not be started (e.g. elevation declined)
    };

    // Makes sure the updater service is installed and running. Systems without such a service
    // report Ready at once.
    static UpdaterStatus ensureUpdater(const QString& applicationDir);

    // Adds (enabled) or removes the per-user start-at-logon entry "Tessary" for programPath.
    // Harmless when repeated; failures are ignored.
    static void setAutorun(bool enabled, const QString& programPath);
    // Where the start-at-logon entry lives (a file path or a registry path), for display and tests.
    static QString autorunLocation();

    // Renames from to to in one step, replacing a file at to.
    static bool replaceFile(const QString& from, const QString& to);

    // The name under which the running window of the user with this data folder can be reached
    // (QLocalServer): only that user may use it.
    static QString instanceServerName(const QString& dataDir);

    // Shows path selected in the desktop's file manager, falling back to opening its folder.
    // Does nothing when path does not exist; never waits for the file manager.
    static void showInFileManager(const QString& path);
};

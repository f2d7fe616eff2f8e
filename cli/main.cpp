#include "app/AppSettings.h"
#include "app/Startup.h"
#include "cli/CliApp.h"

#include <QCoreApplication>
#include <QSettings>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // Help, usage errors and every message in the window's language, from the same "i18n" folder
    // beside the program; the commands' help texts are translated when CliApp is built.
    Startup::setApplicationNames();
    AppSettings appSettings;
    appSettings.setLocale(Startup::locale(QSettings()));
    CliApp cli;
    return cli.run(QCoreApplication::arguments());
}

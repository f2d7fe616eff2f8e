// The window's real start-up with dialogs that print instead of blocking, which quits as soon as
// the event loop runs. Lets the tests check exit codes and what the start-up stored.
#include "app/GuiApplication.h"
#include "platform/Prompter.h"

#include <QCoreApplication>
#include <QTimer>

static void quitWhenRunning()
{
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
}
Q_COREAPP_STARTUP_FUNCTION(quitWhenRunning)

int main(int argc, char* argv[])
{
    return runGuiApplication(argc, argv, [] { return std::make_unique<NullPrompter>(); });
}

// The real window, started the way `tessary` starts, with dialogs answered by the script instead of a
// person, and a script of mouse and key actions played against it. Any QML warning fails the run, so
// the tests also catch broken bindings on every page they pass through.
//
//   tessary-gui-driver SCRIPT_FILE
#include "GuiScript.h"

#include "app/GuiApplication.h"
#include "util/ScriptedPrompter.h"

#include <QFile>
#include <QQmlApplicationEngine>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

static QtMessageHandler previousHandler = nullptr;

static void failOnQmlWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    previousHandler(type, context, message);
    const QByteArray category(context.category ? context.category : "");
    const bool fromQml
        = category.startsWith("qml") || category == "js" || message.contains(QLatin1String(".qml:"));
    if (type != QtDebugMsg && type != QtInfoMsg && fromQml) {
        std::fprintf(stdout, "FAIL: QML warning: %s\n", qPrintable(message));
        std::fflush(stdout);
        std::_Exit(4);
    }
}

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessary-gui-driver SCRIPT_FILE\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const QStringList steps = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    previousHandler = qInstallMessageHandler(failOnQmlWarnings);

    int appArgc = 1;
    return runGuiApplication(
        appArgc, argv, [] { return std::make_unique<ScriptedPrompter>(); },
        [&](QQmlApplicationEngine& engine, Prompter& prompter) {
            auto* script = new GuiScript(engine.rootObjects().constFirst(),
                                         static_cast<ScriptedPrompter&>(prompter), steps, &engine);
            script->start();
        });
}

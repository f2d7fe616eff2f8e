#include "app/GuiApplication.h"

#include "app/AppSettings.h"
#include "app/Startup.h"
#include "app/WindowActivation.h"
#include "net/ServerConfig.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLockFile>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QSettings>
#include <QSslSocket>
#include <QWindow>

// The interface asks for its typeface by the name "Geometria"; the files shipped under that name
// carry the family name of the free typeface they come from, so the name is mapped onto it.
static void loadInterfaceFonts()
{
    QString family;
    for (const char* file : {":/Controls/fonts/Geometria.otf", ":/Controls/fonts/Geometria-ExtraLight.otf",
                             ":/Controls/fonts/Geometria-Medium.otf"}) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (family.isEmpty() && !families.isEmpty())
            family = families.constFirst();
    }
    if (!family.isEmpty())
        QFont::insertSubstitution(QStringLiteral("Geometria"), family);
}

int runGuiApplication(int argc, char* argv[], const std::function<std::unique_ptr<Prompter>()>& makePrompter,
                      const std::function<void(QQmlApplicationEngine&, Prompter&)>& onLoaded)
{
    Startup::prepareDataDir();
    QLockFile lock(Startup::dataDirPath() + QStringLiteral("/run.lock"));
    if (!Startup::acquireLock(lock)) {
        // The window that runs comes to the front instead; when it does not answer, this start
        // still ends quietly.
        QCoreApplication app(argc, argv);
        WindowActivation::activateRunning(Startup::dataDirPath());
        return 0;
    }
    Startup::removeLeftovers();

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/_appicon.svg")));
    loadInterfaceFonts();
    Startup::setApplicationNames();

    QSettings settings;
    const QString locale = Startup::ensureLocale(settings);
    AppSettings appSettings;
    appSettings.setLocale(locale);
    std::unique_ptr<Prompter> prompter = makePrompter();

    if (!QSslSocket::supportsSsl()) {
        prompter->message(Prompter::Icon::Critical, QObject::tr("Error"),
                          QObject::tr("SSL not supported, exiting"));
        return -1;
    }
    QString configError;
    if (!loadServerConfig(&configError)) {
        prompter->message(Prompter::Icon::Critical, QObject::tr("Error"), configError);
        return -1;
    }

    switch (Platform::ensureUpdater(QCoreApplication::applicationDirPath())) {
    case Platform::UpdaterStatus::FilesMissing:
        prompter->message(Prompter::Icon::Critical, QObject::tr("Error"),
                          QObject::tr("Some files are missing") + QLatin1Char('\n')
                              + QObject::tr("Please reinstall application"));
        return -1;
    case Platform::UpdaterStatus::LaunchFailed:
        return -4;
    case Platform::UpdaterStatus::Ready:
        break;
    }

    appSettings.setAutorun(Startup::ensureAutorunFlag(settings));

    QString dbError;
    if (!Startup::openDatabase(&dbError)) {
        prompter->message(Prompter::Icon::Critical, QObject::tr("Cannot open database"), dbError);
        return -1;
    }
    Startup::createTables();
    Startup::seedRandom();
    Startup::ensureUid(settings);

    registerQmlTypes();

    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("engine"), &engine);
    engine.rootContext()->setContextProperty(QStringLiteral("appSettings"), &appSettings);
    engine.rootContext()->setContextProperty(QStringLiteral("appVersion"), QStringLiteral(TESSARY_VERSION));
    engine.rootContext()->setContextProperty(QStringLiteral("dialogs"), prompter.get());
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return -1;
    // Later starts bring this window to the front, also out of the tray or the task bar.
    WindowActivation activation;
    if (auto* window = qobject_cast<QWindow*>(engine.rootObjects().constFirst())) {
        QObject::connect(&activation, &WindowActivation::activationRequested, window, [window] {
            window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
            window->show();
            window->raise();
            window->requestActivate();
        });
    }
    activation.listen(Startup::dataDirPath());
    if (onLoaded)
        onLoaded(engine, *prompter);
    return QApplication::exec();
}

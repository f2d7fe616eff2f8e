// The QML tests run the interface's own files from the program's resources, with the real native
// types registered and a private home, and fail on any QML warning.
#include "app/AppSettings.h"
#include "app/GuiApplication.h"
#include "net/ServerConfig.h"
#include "platform/Prompter.h"
#include "util/TestHome.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QtQuickTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
int qmlWarnings = 0;
} // namespace

class QmlTestSetup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        m_home = std::make_unique<TestHome>();
        // Nothing here may reach a real server.
        qputenv("TESSARY_SERVER_URL", "https://127.0.0.1:9");
        loadServerConfig();
        m_home->openDatabase();
        registerQmlTypes();
        // Sizes as an English system writes them, whatever the machine's own language; the source
        // texts show, as no translation is loaded.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        // Every warning of the engine (broken bindings, failed loads, script errors) fails the run.
        connect(engine, &QQmlEngine::warnings, this, [](const QList<QQmlError>& warnings) {
            for (const QQmlError& warning : warnings)
                std::fprintf(stderr, "QML warning: %s\n", qPrintable(warning.toString()));
            qmlWarnings += warnings.size();
        });
        engine->rootContext()->setContextProperty(QStringLiteral("engine"), engine);
        engine->rootContext()->setContextProperty(QStringLiteral("appSettings"), &m_settings);
        engine->rootContext()->setContextProperty(QStringLiteral("appVersion"),
                                                  QStringLiteral(TESSARY_VERSION));
        engine->rootContext()->setContextProperty(QStringLiteral("dialogs"), &m_prompter);
    }

    void cleanupTestCase()
    {
        if (qmlWarnings > 0) {
            std::fprintf(stderr, "FAIL: %d QML warning(s), see above\n", qmlWarnings);
            std::fflush(stderr);
            std::_Exit(1);
        }
    }

private:
    std::unique_ptr<TestHome> m_home;
    AppSettings m_settings;
    NullPrompter m_prompter;
};

QUICK_TEST_MAIN_WITH_SETUP(TestQmlPages, QmlTestSetup)
#include "QmlTestSetup.moc"

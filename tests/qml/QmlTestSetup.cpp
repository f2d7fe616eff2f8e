// The QML tests run the interface's own files from the program's resources, with the real native
// types registered and a private home, and fail on any QML warning.
#include "app/AppSettings.h"
#include "app/Startup.h"
#include "net/ServerConfig.h"
#include "platform/Prompter.h"
#include "util/TestHome.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
QtMessageHandler previousHandler = nullptr;
int qmlWarnings = 0;

void countQmlWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    previousHandler(type, context, message);
    if (type != QtDebugMsg && type != QtInfoMsg && message.contains(QLatin1String(".qml:")))
        ++qmlWarnings;
}
} // namespace

class QmlTestSetup : public QObject
{
    Q_OBJECT
public slots:
    void applicationAvailable()
    {
        previousHandler = qInstallMessageHandler(countQmlWarnings);
        m_home = std::make_unique<TestHome>();
        // Nothing here may reach a real server.
        qputenv("TESSARY_SERVER_URL", "https://127.0.0.1:9");
        loadServerConfig();
        m_home->openDatabase();
        Startup::registerQmlTypes();
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        Prompter::attach(engine, &m_prompter);
        engine->rootContext()->setContextProperty(QStringLiteral("engine"), engine);
        engine->rootContext()->setContextProperty(QStringLiteral("appSettings"), &m_settings);
        engine->rootContext()->setContextProperty(QStringLiteral("appVersion"), QStringLiteral("2.0.1"));
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

#include "GuiScript.h"

#include "platform/WidgetPrompter.h"
#include "util/ScriptedPrompter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int tickMs = 50;
constexpr qint64 waitLimitMs = 90000;

void collect(QObject* object, const QString& name, QList<QQuickItem*>& found, QSet<QObject*>& seen)
{
    if (!object || seen.contains(object))
        return;
    seen.insert(object);
    if (object->objectName() == name)
        if (auto* item = qobject_cast<QQuickItem*>(object))
            found.append(item);
    for (QObject* child : object->children())
        collect(child, name, found, seen);
    if (auto* item = qobject_cast<QQuickItem*>(object))
        for (QQuickItem* child : item->childItems())
            collect(child, name, found, seen);
}
} // namespace

GuiScript::GuiScript(QObject* root, ScriptedPrompter& prompter, const QStringList& steps, QObject* parent)
    : QObject(parent)
    , m_root(root)
    , m_window(qobject_cast<QQuickWindow*>(root))
    , m_prompter(prompter)
    , m_steps(steps)
{
    m_timer.setInterval(tickMs);
    connect(&m_timer, &QTimer::timeout, this, &GuiScript::tick);
}

void GuiScript::start()
{
    m_stepClock.start();
    m_timer.start();
}

void GuiScript::fail(const QString& why)
{
    // What the window showed when the step failed, for the person reading the test log.
    const QString shot = QDir::temp().filePath(
        QStringLiteral("tessary-gui-fail-%1.png").arg(QCoreApplication::applicationPid()));
    if (m_window)
        m_window->grabWindow().save(shot);
    std::fprintf(stdout, "FAIL: line %d: %s (window: %s)\n", m_next + 1, qPrintable(why), qPrintable(shot));
    std::fflush(stdout);
    QCoreApplication::exit(3);
    // The step that failed may be inside a nested event loop of the window; leave for good.
    std::_Exit(3);
}

void GuiScript::tick()
{
    // A click may start a transfer whose nested event loops call back in here; steps still run one
    // after the other, each from its own tick.
    if (m_inStep)
        return;
    while (m_next < m_steps.size()) {
        const QString line = m_steps.at(m_next).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            ++m_next;
            continue;
        }
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        m_inStep = true;
        const bool done = run(words, line);
        m_inStep = false;
        if (!done) {
            if (m_stepClock.elapsed() > waitLimitMs)
                fail(QStringLiteral("gave up waiting: %1").arg(line));
            return;
        }
        ++m_next;
        m_stepClock.restart();
        m_lastPos = QPointF(-1e9, -1e9);
        m_stillTicks = 0;
        // Let each action's events be delivered before the next step looks at the window.
        return;
    }
    m_timer.stop();
}

QQuickItem* GuiScript::find(const QString& name, bool visibleOnly) const
{
    QList<QQuickItem*> found;
    QSet<QObject*> seen;
    collect(m_root, name, found, seen);
    if (m_window)
        collect(m_window->contentItem(), name, found, seen);
    for (QQuickItem* item : found)
        if (!visibleOnly || (item->isVisible() && item->window()))
            return item;
    return nullptr;
}

bool GuiScript::settled(const QPointF& pos)
{
    // Still for a few ticks in a row: a transition slowed down by a busy machine may pause for one.
    m_stillTicks = pos == m_lastPos ? m_stillTicks + 1 : 0;
    m_lastPos = pos;
    return m_stillTicks >= 4;
}

QPointF GuiScript::centre(QQuickItem* item) const
{
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
}

void GuiScript::postMouse(QEvent::Type type, const QPointF& pos, Qt::MouseButton button,
                          Qt::MouseButtons buttons)
{
    QCoreApplication::postEvent(m_window,
                                new QMouseEvent(type, pos, pos, m_window->mapToGlobal(pos.toPoint()), button,
                                                buttons, Qt::NoModifier));
}

void GuiScript::postKey(int key, const QString& text)
{
    QCoreApplication::postEvent(m_window, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(m_window, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

QString GuiScript::propertyText(QObject* object, const QString& property) const
{
    return object->property(property.toLatin1().constData()).toString();
}

bool GuiScript::run(const QStringList& words, const QString& line)
{
    const QString verb = words.value(0);
    auto restAfter = [&](int n) {
        QString rest = line;
        for (int i = 0; i < n; ++i)
            rest = rest.mid(rest.indexOf(words.at(i)) + words.at(i).size());
        return rest.trimmed();
    };

    if (verb == QLatin1String("click") || verb == QLatin1String("hover")) {
        QQuickItem* item = find(words.value(1));
        if (!item || !item->isEnabled())
            return false;
        const QPointF pos = centre(item);
        if (!settled(pos))
            return false;
        postMouse(QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
        if (verb == QLatin1String("click")) {
            postMouse(QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
            postMouse(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
        }
        return true;
    }
    if (verb == QLatin1String("type")) {
        for (const QChar c : restAfter(1))
            postKey(0, QString(c));
        return true;
    }
    if (verb == QLatin1String("key")) {
        static const QHash<QString, int> keys {{QStringLiteral("Enter"), Qt::Key_Return},
                                               {QStringLiteral("Tab"), Qt::Key_Tab},
                                               {QStringLiteral("Escape"), Qt::Key_Escape}};
        postKey(keys.value(words.value(1)),
                words.value(1) == QLatin1String("Enter") ? QStringLiteral("\r") : QString());
        return true;
    }
    if (verb == QLatin1String("drop")) {
        QQuickItem* item = find(words.value(1));
        if (!item)
            return false;
        if (!settled(centre(item)))
            return false;
        m_dropData = std::make_unique<QMimeData>();
        m_dropData->setUrls({QUrl::fromLocalFile(restAfter(2))});
        const QPoint pos = centre(item).toPoint();
        QDragEnterEvent enter(pos, Qt::CopyAction, m_dropData.get(), Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window, &enter);
        QDragMoveEvent move(pos, Qt::CopyAction, m_dropData.get(), Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window, &move);
        QDropEvent drop(pos, Qt::CopyAction, m_dropData.get(), Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window, &drop);
        return true;
    }
    if (verb == QLatin1String("wait") || verb == QLatin1String("waitMatch")) {
        QQuickItem* item = find(words.value(1));
        if (!item)
            return false;
        const QString value = propertyText(item, words.value(2));
        const QString expected = restAfter(3);
        return verb == QLatin1String("wait") ? value == expected
                                             : QRegularExpression(expected).match(value).hasMatch();
    }
    if (verb == QLatin1String("waitVisible"))
        return find(words.value(1)) != nullptr;
    if (verb == QLatin1String("waitHidden"))
        return find(words.value(1)) == nullptr;
    if (verb == QLatin1String("print") || verb == QLatin1String("set")) {
        QQuickItem* item = find(words.value(1), false);
        if (!item)
            return false;
        if (verb == QLatin1String("set"))
            item->setProperty(words.value(2).toLatin1().constData(), restAfter(3));
        std::fprintf(stdout, "%s.%s=%s\n", qPrintable(words.value(1)), qPrintable(words.value(2)),
                     qPrintable(propertyText(item, words.value(2))));
        std::fflush(stdout);
        return true;
    }
    if (verb == QLatin1String("grab")) {
        if (!m_window->grabWindow().save(restAfter(1)))
            fail(QStringLiteral("cannot save %1").arg(restAfter(1)));
        return true;
    }
    if (verb == QLatin1String("resize")) {
        m_window->resize(words.value(1).toInt(), words.value(2).toInt());
        return true;
    }
    if (verb == QLatin1String("answerDir")) {
        m_prompter.directories.enqueue(restAfter(1));
        return true;
    }
    if (verb == QLatin1String("answerConfirm")) {
        m_prompter.confirmations.enqueue(words.value(1) == QLatin1String("yes"));
        return true;
    }
    if (verb == QLatin1String("asked")) {
        const QRegularExpression expected(restAfter(1));
        return std::any_of(m_prompter.questions.cbegin(), m_prompter.questions.cend(),
                           [&](const QString& question) { return expected.match(question).hasMatch(); });
    }
    if (verb == QLatin1String("grabConfirmation")) {
        // The latest question, as the window's own dialog shows it.
        if (m_prompter.lastConfirmation.size() != 3)
            return false;
        const QString file = restAfter(1);
        QTimer::singleShot(500, this, [this, file] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box || !box->grab().save(file))
                fail(QStringLiteral("cannot save %1").arg(file));
            if (box)
                box->close();
        });
        const QStringList& asked = m_prompter.lastConfirmation;
        WidgetPrompter().confirm(asked.at(0), asked.at(1), asked.at(2));
        return true;
    }
    if (verb == QLatin1String("hideWindow")) {
        m_window->hide();
        return true;
    }
    if (verb == QLatin1String("waitWindowShown"))
        return m_window->isVisible() && !(m_window->windowStates() & Qt::WindowMinimized);
    if (verb == QLatin1String("answerFiles")) {
        QList<QUrl> urls;
        for (const QString& path : words.mid(1))
            urls.append(QUrl::fromLocalFile(path));
        m_prompter.fileUrls.enqueue(urls);
        return true;
    }
    if (verb == QLatin1String("sleep"))
        return m_stepClock.elapsed() >= words.value(1).toInt();
    if (verb == QLatin1String("quit")) {
        m_timer.stop();
        QCoreApplication::quit();
        return true;
    }
    fail(QStringLiteral("unknown step: %1").arg(line));
    return true;
}

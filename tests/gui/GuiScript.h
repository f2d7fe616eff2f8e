#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QMimeData>
#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QTimer>

#include <memory>

class QQuickItem;
class QQuickWindow;
class ScriptedPrompter;

// Plays a script of user actions against the running window, the way a person would use it: items
// are found by objectName and driven by mouse, key and drag-and-drop events posted to the window,
// so a click that starts a long transfer returns at once and the script can go on (for example to
// press Cancel) while the transfer runs in its nested event loops. One step a line:
//
//   click NAME | hover NAME | type TEXT | key Enter|Tab|Escape | drop NAME PATH
//   wait NAME PROPERTY TEXT | waitMatch NAME PROPERTY REGEX | waitVisible NAME | waitHidden NAME
//   print NAME PROPERTY | set NAME PROPERTY VALUE | grab FILE.png | resize WIDTH HEIGHT
//   answerDir PATH | answerFiles PATH... | answerConfirm yes|no | asked REGEX (a question was shown)
//   grabConfirmation FILE.png (the latest question in the window's own dialog)
//   hideWindow | waitWindowShown | sleep MS | quit
//
// Waits give up after 90 s. Any failure prints "FAIL: ..." and ends the program with exit code 3.
class GuiScript : public QObject
{
    Q_OBJECT
public:
    GuiScript(QObject* root, ScriptedPrompter& prompter, const QStringList& steps, QObject* parent);

    void start();

private:
    void tick();
    // True when the step is done; false to try again at the next tick.
    bool run(const QStringList& words, const QString& rest);
    void fail(const QString& why);

    QQuickItem* find(const QString& name, bool visibleOnly = true) const;
    QPointF centre(QQuickItem* item) const;
    bool settled(const QPointF& pos);
    void postMouse(QEvent::Type type, const QPointF& pos, Qt::MouseButton button, Qt::MouseButtons buttons);
    void postKey(int key, const QString& text);
    QString propertyText(QObject* object, const QString& property) const;

    QObject* m_root;
    QQuickWindow* m_window;
    ScriptedPrompter& m_prompter;
    QStringList m_steps;
    int m_next = 0;
    bool m_inStep = false; // a step's events may run a nested event loop that ticks again
    QTimer m_timer;
    QElapsedTimer m_stepClock;
    std::unique_ptr<QMimeData> m_dropData;
    // Where the current step's item was at the previous tick: items are only touched once they
    // have stopped moving, so page transitions cannot take a click elsewhere.
    QPointF m_lastPos {-1e9, -1e9};
    int m_stillTicks = 0;
};

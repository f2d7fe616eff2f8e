#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

// Everything that needs a person: message boxes, file and folder dialogs, the password prompt.
// The GUI answers with Qt Widgets (WidgetPrompter, in the GUI library) and hands its prompter to
// the QML-facing objects through their "prompter" property; the command-line front end and the
// tests answer without a display, so nothing ever blocks on a modal window there.
class Prompter : public QObject
{
    Q_OBJECT
public:
    enum class Icon
    {
        Critical,
        Warning,
        Information
    };

    using QObject::QObject;

    virtual void message(Icon icon, const QString& title, const QString& text) = 0;
    // A question that must be answered before something is done that cannot be undone: true when
    // the person chose action (the name of the deed, "Reject"), false when they cancelled.
    virtual bool confirm(const QString& title, const QString& text, const QString& action) = 0;
    // Returns the typed text; *ok is false when the person cancelled.
    virtual QString password(const QString& label, bool* ok) = 0;
    // Existing files to add; empty when cancelled.
    virtual QList<QUrl> openFileUrls(const QUrl& startDir) = 0;
    // A folder; empty when cancelled.
    virtual QString existingDirectory(const QString& startDir) = 0;
    // A path to save a container at; empty when cancelled.
    virtual QString saveFileName(const QString& startDir, const QString& filter, const QString& defaultSuffix,
                                 const QString& preselect)
        = 0;
    // An existing file to open; empty when cancelled.
    virtual QString openFileName(const QString& startDir, const QString& filter) = 0;

    // p, or when there is none one that cancels every question and shows messages on standard
    // error, so that nothing ever waits for a person who is not there.
    static Prompter* orNull(Prompter* p);
};

// Answers every question with "cancel" and prints messages to standard error.
class NullPrompter : public Prompter
{
    Q_OBJECT
public:
    using Prompter::Prompter;
    void message(Icon icon, const QString& title, const QString& text) override;
    bool confirm(const QString& title, const QString& text, const QString& action) override;
    QString password(const QString& label, bool* ok) override;
    QList<QUrl> openFileUrls(const QUrl& startDir) override;
    QString existingDirectory(const QString& startDir) override;
    QString saveFileName(const QString& startDir, const QString& filter, const QString& defaultSuffix,
                         const QString& preselect) override;
    QString openFileName(const QString& startDir, const QString& filter) override;
};

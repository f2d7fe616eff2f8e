#pragma once

#include "platform/Prompter.h"

// Modal Qt Widgets dialogs with no parent window.
class WidgetPrompter : public Prompter
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

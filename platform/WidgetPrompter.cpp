#include "platform/WidgetPrompter.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

void WidgetPrompter::message(Icon icon, const QString& title, const QString& text)
{
    switch (icon) {
    case Icon::Critical:
        QMessageBox::critical(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        break;
    case Icon::Warning:
        QMessageBox::warning(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        break;
    case Icon::Information:
        QMessageBox::information(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        break;
    }
}

bool WidgetPrompter::confirm(const QString& title, const QString& text, const QString& action)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Cancel);
    QPushButton* yes = box.addButton(action, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == yes;
}

QString WidgetPrompter::password(const QString& label, bool* ok)
{
    return QInputDialog::getText(nullptr, QString(), label, QLineEdit::Password, QString(), ok,
                                 Qt::FramelessWindowHint);
}

QList<QUrl> WidgetPrompter::openFileUrls(const QUrl& startDir)
{
    return QFileDialog::getOpenFileUrls(nullptr, QString(), startDir);
}

QString WidgetPrompter::existingDirectory(const QString& startDir)
{
    return QFileDialog::getExistingDirectory(nullptr, QString(), startDir, QFileDialog::ShowDirsOnly);
}

QString WidgetPrompter::saveFileName(const QString& startDir, const QString& filter,
                                     const QString& defaultSuffix, const QString& preselect)
{
    QFileDialog dialog(nullptr, QString(), startDir);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!preselect.isEmpty())
        dialog.selectFile(preselect);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString WidgetPrompter::openFileName(const QString& startDir, const QString& filter)
{
    return QFileDialog::getOpenFileName(nullptr, QString(), startDir, filter);
}

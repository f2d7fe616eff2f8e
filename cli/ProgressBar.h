#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class Job;
class QTimer;

// One self-rewriting status line on standard error for long work: a title, a bar and the amount
// done, or a spinner while the amount is unknown. Draws nothing unless standard error is a terminal,
// so scripts and logs see only the messages.
class ProgressBar : public QObject
{
    Q_OBJECT
public:
    explicit ProgressBar(bool enabled, QObject* parent = nullptr);
    ~ProgressBar() override;

    bool isEnabled() const { return m_enabled; }
    // Follows the steps, progress and messages of a job.
    void attach(Job* job);

public slots:
    // A phase from min to max, named by text; without a name the stage title shows.
    void start(float min, float max, const QString& text = QString());
    // A negative value means the amount is not known.
    void setValue(float value);
    // The stage of the work, e.g. "Encrypting files...".
    void setTitle(const QString& text);
    // Work of unknown length with this title, e.g. waiting for the server or for gpg.
    void busy(const QString& text);
    // Removes the line, so that a message can be printed in its place.
    void clear();

private:
    void draw(bool force);
    void tick();

    bool m_enabled;
    bool m_shown = false;
    QString m_title;
    QString m_phase;
    double m_min = 0;
    double m_max = 0;
    double m_value = -1;
    int m_spin = 0;
    QElapsedTimer m_lastDraw;
    // Keeps the spinner turning while nothing reports progress.
    QTimer* m_ticker;
};

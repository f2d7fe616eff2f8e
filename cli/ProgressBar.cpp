#include "cli/ProgressBar.h"

#include "app/Job.h"
#include "cli/Terminal.h"

#include <QTimer>
#include <QtMath>

namespace {

QString amount(double bytes)
{
    if (bytes >= 1048576.0)
        return QString::number(bytes / 1048576.0, 'f', 1) + QStringLiteral(" MB");
    if (bytes >= 1024.0)
        return QString::number(bytes / 1024.0, 'f', 0) + QStringLiteral(" KB");
    return QString::number(bytes, 'f', 0);
}

} // namespace

ProgressBar::ProgressBar(bool enabled, QObject* parent)
    : QObject(parent)
    , m_enabled(enabled)
    , m_ticker(new QTimer(this))
{
    m_ticker->setInterval(150);
    connect(m_ticker, &QTimer::timeout, this, &ProgressBar::tick);
}

ProgressBar::~ProgressBar()
{
    clear();
}

void ProgressBar::attach(Job* job)
{
    // The same stage texts as the pages of the window show above their bars.
    connect(job, &Job::stepStarted, this, [this](Job::Step step) {
        switch (step) {
        case Job::Step::Generating:
            return busy(tr("Generating PGP keys"));
        case Job::Step::Registering:
            return busy(tr("Uploading public PGP key to server"));
        case Job::Step::FetchingKey:
            return busy(tr("Getting public PGP key from server"));
        case Job::Step::Encrypting:
            return setTitle(tr("Encrypting files..."));
        case Job::Step::Uploading:
            return setTitle(tr("Uploading data to server..."));
        case Job::Step::Downloading:
            return setTitle(tr("Downloading data from server..."));
        case Job::Step::Decrypting:
            return setTitle(tr("Decrypting data..."));
        case Job::Step::Reporting:
            return busy(tr("Clear data on server..."));
        }
    });
    connect(job, &Job::info, this, &ProgressBar::setTitle);
    connect(job, &Job::progressRange, this,
            [this](qint64 total, const QString& text) { start(0, total, text); });
    connect(job, &Job::progress, this, [this](qint64 done) { setValue(done); });
}

void ProgressBar::start(float min, float max, const QString& text)
{
    // Transfers announce their range again with every progress report; only a new range restarts.
    if (text.isEmpty() && m_shown && min == m_min && max == m_max)
        return;
    m_phase = text;
    m_min = min;
    m_max = max;
    m_value = min;
    draw(true);
}

void ProgressBar::setValue(float value)
{
    m_value = value;
    draw(false);
}

void ProgressBar::setTitle(const QString& text)
{
    m_title = text;
    m_phase.clear();
    draw(true);
}

void ProgressBar::busy(const QString& text)
{
    m_title = text;
    m_phase.clear();
    m_min = m_max = 0;
    m_value = -1;
    draw(true);
}

void ProgressBar::tick()
{
    if (m_value < 0 || m_max <= m_min)
        draw(true);
    else
        m_ticker->stop();
}

void ProgressBar::clear()
{
    m_ticker->stop();
    if (!m_shown)
        return;
    Terminal::write(Terminal::StandardError, QStringLiteral("\r\x1b[K"));
    m_shown = false;
}

void ProgressBar::draw(bool force)
{
    if (!m_enabled)
        return;
    // A terminal redrawn for every 512 KB chunk would spend more time drawing than copying.
    if (!force && m_shown && m_lastDraw.isValid() && m_lastDraw.elapsed() < 100)
        return;
    m_lastDraw.restart();

    const int width = qMax(20, Terminal::columns() - 1);
    const int barWidth = qBound(10, width / 3, 40);
    QString bar;
    QString figures;
    const double span = m_max - m_min;
    if (m_value < 0 || span <= 0) {
        static const char* const frames[] = {"|", "/", "-", "\\"};
        bar = QStringLiteral("[") + QString(barWidth, QLatin1Char(' ')) + QStringLiteral("]");
        bar[1 + (m_spin % barWidth)] = QLatin1Char('=');
        figures = QString::fromLatin1(frames[m_spin % 4]);
        ++m_spin;
    } else {
        const double fraction = qBound(0.0, (m_value - m_min) / span, 1.0);
        const int filled = qFloor(fraction * barWidth);
        bar = QStringLiteral("[") + QString(filled, QLatin1Char('#'))
            + QString(barWidth - filled, QLatin1Char('.')) + QStringLiteral("]");
        figures = QStringLiteral("%1%").arg(qFloor(fraction * 100));
        // The phases that count bytes are large; the file-counting phase is not worth a unit.
        if (m_max > 102400)
            figures += QStringLiteral(" %1 / %2").arg(amount(m_value), amount(m_max));
    }

    QString title = Terminal::printable(m_phase.isEmpty() ? m_title : m_phase);
    const int room = width - bar.size() - figures.size() - 2;
    if (room <= 3)
        title.clear();
    else if (title.size() > room)
        title = QStringLiteral("...") + title.right(room - 3);

    QString line = title.isEmpty() ? bar + QLatin1Char(' ') + figures
                                   : title + QLatin1Char(' ') + bar + QLatin1Char(' ') + figures;
    Terminal::write(Terminal::StandardError, QStringLiteral("\r\x1b[K") + line);
    m_shown = true;
    if ((m_value < 0 || span <= 0) && !m_ticker->isActive())
        m_ticker->start();
}

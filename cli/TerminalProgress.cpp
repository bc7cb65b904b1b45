#include "cli/TerminalProgress.h"

#include <QElapsedTimer>

#include <algorithm>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

const int barWidth = 24;
// The parts of the bar each stage fills: loading is quick, copying is most
// of a run, the covers come last.
const double loadingShare = 0.1;
const double tracksShare = 0.8;

double fractionOf(qint64 done, qint64 total)
{
    return total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 0.0;
}

} // namespace

TerminalProgress::TerminalProgress(FILE *terminal, bool enabled, Clock clock)
    : m_terminal(terminal), m_enabled(enabled && terminal && isatty(fileno(terminal))), m_clock(std::move(clock))
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer] { return timer->elapsed(); };
    }
}

QString TerminalProgress::bytesText(qint64 bytes)
{
    const char *units[] = {"B", "kB", "MB", "GB", "TB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1000.0 && unit < 4) {
        value /= 1000.0;
        ++unit;
    }
    return unit == 0 ? QStringLiteral("%1 B").arg(bytes)
                     : QStringLiteral("%1 %2").arg(value, 0, 'f', value < 10 ? 1 : 0).arg(QLatin1String(units[unit]));
}

QString TerminalProgress::durationText(qint64 seconds)
{
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void TerminalProgress::loading(int done, int total)
{
    show(loadingShare * fractionOf(done, total), QStringLiteral("loading the music library %1/%2").arg(done).arg(total));
}

void TerminalProgress::copyingTracks(int done, int total, qint64 bytesDone, qint64 bytesTotal)
{
    const qint64 now = m_clock();
    if (m_copyStartMs < 0) {
        m_copyStartMs = now;
        m_copyStartBytes = bytesDone;
    }
    QString detail = QStringLiteral("%1/%2 tracks").arg(done).arg(total);
    if (bytesTotal > 0) {
        detail += QStringLiteral("  %1/%2").arg(bytesText(bytesDone), bytesText(bytesTotal));
        const qint64 elapsedMs = now - m_copyStartMs;
        const qint64 copied = bytesDone - m_copyStartBytes;
        // A rate only once there is something to measure it by.
        if (elapsedMs >= 500 && copied > 0) {
            const double perSecond = double(copied) * 1000.0 / double(elapsedMs);
            detail += QStringLiteral("  %1/s  %2 left")
                          .arg(bytesText(qint64(perSecond)), durationText(qint64(double(bytesTotal - bytesDone) / perSecond + 0.5)));
        }
    }
    // By bytes where there are bytes to copy, else by tracks.
    const double fraction = bytesTotal > 0 ? fractionOf(bytesDone, bytesTotal) : fractionOf(done, total);
    show(loadingShare + tracksShare * fraction, detail);
}

void TerminalProgress::exportingCovers(int done, int total)
{
    show(loadingShare + tracksShare + (1.0 - loadingShare - tracksShare) * fractionOf(done, total),
         QStringLiteral("album covers %1/%2").arg(done).arg(total));
}

void TerminalProgress::waitingForRefresh(qint64 waitedMs, qint64 atMostMs)
{
    show(1.0, QStringLiteral("waiting for the server to refresh its library (%1 s, at most %2 s)")
                  .arg((waitedMs + 500) / 1000)
                  .arg(atMostMs / 1000));
}

void TerminalProgress::show(double fraction, const QString &detail)
{
    const int filled = int(fraction * barWidth + 0.5);
    m_line = QStringLiteral("[%1%2] %3% %4")
                 .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char(' ')))
                 .arg(int(fraction * 100), 3)
                 .arg(detail);
    if (!m_enabled)
        return;
    // A line wider than the terminal would wrap, and \r would no longer
    // bring the cursor back to its start.
    QString shown = m_line;
    winsize size {};
    if (::ioctl(fileno(m_terminal), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && shown.size() >= size.ws_col)
        shown.truncate(size.ws_col - 1);
    std::fprintf(m_terminal, "\r\033[K%s", shown.toLocal8Bit().constData());
    std::fflush(m_terminal);
    m_shown = true;
}

void TerminalProgress::clear()
{
    if (!m_shown)
        return;
    std::fputs("\r\033[K", m_terminal);
    std::fflush(m_terminal);
    m_shown = false;
}

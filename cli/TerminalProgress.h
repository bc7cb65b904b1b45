#pragma once

#include <QString>

#include <cstdio>
#include <functional>

// One progress line on a terminal across the whole run: loading the source,
// copying the tracks (count, bytes, rate, time left), exporting the covers,
// then a line while waiting for the server's refresh. It writes only to a
// terminal; on a pipe or a file it stays silent.
class TerminalProgress {
public:
    // Milliseconds from any fixed moment; tests give their own clock.
    using Clock = std::function<qint64()>;

    // enabled: false for --quiet, or when `terminal` is not a terminal.
    TerminalProgress(FILE *terminal, bool enabled, Clock clock = {});

    bool enabled() const { return m_enabled; }

    void loading(int done, int total);
    // Tracks done of total, bytes of the tracks to copy done of bytesTotal.
    void copyingTracks(int done, int total, qint64 bytesDone, qint64 bytesTotal);
    void exportingCovers(int done, int total);
    void waitingForRefresh(qint64 waitedMs, qint64 atMostMs);
    // Removes the line (before any other output, and at the end).
    void clear();

    // The text of the last line shown (without the terminal's controls).
    const QString &line() const { return m_line; }

    static QString bytesText(qint64 bytes);
    static QString durationText(qint64 seconds);

private:
    void show(double fraction, const QString &detail);

    FILE *m_terminal;
    bool m_enabled;
    Clock m_clock;
    bool m_shown = false;
    QString m_line;
    qint64 m_copyStartMs = -1;
    qint64 m_copyStartBytes = 0;
};

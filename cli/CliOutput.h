#pragma once

#include "cli/CliOptions.h"

#include <QList>
#include <QString>

#include <cstdio>
#include <memory>

class MusicLibrary;
class TerminalProgress;

// Where orvanasync-cli's words go: lines on standard output (escaped; on a
// terminal each at once, on a pipe or a file in groups), errors on standard
// error, the run's log as the verbosity asks, and the progress line on a
// terminal.
class CliOutput {
public:
    CliOutput(FILE *out, FILE *err);
    ~CliOutput();

    // Before a command: how much it says, and whether standard output holds
    // a JSON document alone.
    void configure(CliOptions::Verbosity verbosity, bool json);
    CliOptions::Verbosity verbosity() const { return m_verbosity; }

    FILE *out() const { return m_out; }
    FILE *err() const { return m_err; }
    void flush() { std::fflush(m_out); }

    void print(const QString &line);
    // A line of the run's log, unless the verbosity hides it; its errors go
    // to standard error at every verbosity.
    void printLogLine(const QString &line);
    void printError(const QString &message);
    // The last "Debug:" line's text: the refresh's failure, when it failed.
    const QString &lastDebugMessage() const { return m_lastDebugMessage; }

    TerminalProgress &progress() { return *m_progress; }
    // The engine's progress report: loading, copying (with the bytes of
    // library's tracks to copy), exporting covers.
    void showProgress(const MusicLibrary *library, int activity, int progress, int maxProgress);
    void clearProgress();

private:
    FILE *m_out;
    FILE *m_err;
    bool m_outIsTerminal;
    std::unique_ptr<TerminalProgress> m_progress;
    // Bytes to copy of the tracks before each position in the order they
    // are listed: prefix sums, made when the copying starts.
    QList<qint64> m_bytesBefore;
    CliOptions::Verbosity m_verbosity = CliOptions::Verbosity::Normal;
    bool m_json = false;
    QString m_lastDebugMessage;
};

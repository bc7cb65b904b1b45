#include "cli/CliOutput.h"

#include "cli/TerminalProgress.h"
#include "library/MusicLibrary.h"
#include "platform/ControlCharacters.h"

#include <algorithm>
#include <unistd.h>

CliOutput::CliOutput(FILE *out, FILE *err)
    : m_out(out), m_err(err), m_outIsTerminal(out && ::isatty(::fileno(out))),
      m_progress(std::make_unique<TerminalProgress>(err, false))
{
}

CliOutput::~CliOutput() = default;

void CliOutput::configure(CliOptions::Verbosity verbosity, bool json)
{
    m_verbosity = verbosity;
    m_json = json;
    m_progress = std::make_unique<TerminalProgress>(m_err, verbosity != CliOptions::Verbosity::Quiet);
}

void CliOutput::print(const QString &line)
{
    clearProgress();
    // Titles, locations and server answers never reach the terminal raw.
    const QByteArray bytes = ControlCharacters::escaped(line).toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fputc('\n', m_out);
    // A terminal shows each line as it comes; a pipe or a file gets them in
    // groups: after each batch of the run's reports, before an error line
    // and at the end.
    if (m_outIsTerminal)
        std::fflush(m_out);
}

void CliOutput::printLogLine(const QString &line)
{
    // "<time>: <message>"; the time text has no ": " of its own.
    const qsizetype separator = line.indexOf(QLatin1String(": "));
    const QStringView message = separator < 0 ? QStringView(line) : QStringView(line).mid(separator + 2);
    if (message.startsWith(QLatin1String("Debug: ")))
        m_lastDebugMessage = message.mid(7).toString();
    if (message.startsWith(QLatin1String("Error: "))) {
        printError(message.mid(7).toString());
        return;
    }
    switch (m_verbosity) {
    case CliOptions::Verbosity::Quiet:
        return;
    case CliOptions::Verbosity::Normal:
        if (message.startsWith(QLatin1String("Debug: ")))
            return;
        break;
    case CliOptions::Verbosity::Verbose:
        break;
    }
    if (m_json) {
        // Standard output holds the JSON document alone.
        if (m_verbosity == CliOptions::Verbosity::Verbose)
            printError(line);
        return;
    }
    print(line);
}

void CliOutput::printError(const QString &message)
{
    clearProgress();
    std::fflush(m_out);
    std::fprintf(m_err, "orvanasync-cli: %s\n", ControlCharacters::escaped(message).toLocal8Bit().constData());
    std::fflush(m_err);
}

void CliOutput::showProgress(const MusicLibrary *library, int activity, int progress, int maxProgress)
{
    if (!m_progress->enabled())
        return;
    if (activity == 4) {
        m_progress->loading(progress, maxProgress);
    } else if (activity == 9) {
        m_progress->exportingCovers(progress, maxProgress);
    } else if (activity == 7 && library) {
        if (progress == 0 || m_bytesBefore.isEmpty()) {
            // The engine lists the tracks in this order and counts each;
            // those it copies (status 1) make the bytes.
            m_bytesBefore = {0};
            for (const QString &identifier : library->sortedTracks()) {
                if (!library->syncCompleteMusicLibrary() &&
                    (!library->tracksToSync() || !library->tracksToSync()->contains(identifier)))
                    continue;
                const std::shared_ptr<Track> track = library->tracks().value(identifier);
                const bool copied = track && track->status() == 1 && !track->DRMProtected();
                m_bytesBefore.append(m_bytesBefore.last() + (copied ? qMax(0, track->size()) : 0));
            }
        }
        const qsizetype last = m_bytesBefore.size() - 1;
        m_progress->copyingTracks(progress, maxProgress, m_bytesBefore.at(std::clamp(qsizetype(progress), qsizetype(0), last)),
                                  m_bytesBefore.at(last));
    }
}

void CliOutput::clearProgress()
{
    m_progress->clear();
}

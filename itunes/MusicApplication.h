#pragma once

#include "itunes/MusicElementList.h"
#include "itunes/MusicSource.h"
#include "platform/ErrorRecord.h"

#include <QMap>
#include <QStringList>

#include <memory>
#include <vector>

// The music application the loader talks to: its sources, plus what went
// wrong while they were opened (a fatal error, or entries that were skipped).
class MusicApplication {
public:
    using Sources = std::vector<std::shared_ptr<MusicSource>>;

    MusicApplication() = default;
    explicit MusicApplication(Sources sources) : m_sources(std::move(sources)) {}

    MusicElementList<MusicSource> sources() const { return MusicElementList<MusicSource>::of(m_sources); }
    void addSource(std::shared_ptr<MusicSource> source) { m_sources.push_back(std::move(source)); }

    // Null unless a source could not be opened at all.
    const ErrorRecord &openError() const { return m_openError; }
    void setOpenError(ErrorRecord error) { m_openError = std::move(error); }
    // One line per entry that was left out or field that was ignored.
    const QStringList &warnings() const { return m_warnings; }
    void addWarnings(const QStringList &warnings) { m_warnings += warnings; }
    // Lines worth logging that are not a problem (how a source was read).
    const QStringList &notes() const { return m_notes; }
    void addNote(const QString &note) { m_notes.append(note); }
    // How many entries were left out, by reason.
    const QMap<QString, int> &leftOut() const { return m_leftOut; }
    void addLeftOut(const QMap<QString, int> &counts)
    {
        for (auto entry = counts.constKeyValueBegin(); entry != counts.constKeyValueEnd(); ++entry)
            m_leftOut[entry->first] += entry->second;
    }
    // How many tracks the sources listed, kept or not (0 when unknown).
    int listedTrackCount() const { return m_listedTrackCount; }
    void addListedTrackCount(int count) { m_listedTrackCount += count; }

private:
    Sources m_sources;
    ErrorRecord m_openError;
    QStringList m_warnings;
    QStringList m_notes;
    QMap<QString, int> m_leftOut;
    int m_listedTrackCount = 0;
};

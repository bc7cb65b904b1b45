#pragma once

#include "itunes/MusicElementList.h"
#include "itunes/MusicSource.h"
#include "platform/ErrorRecord.h"

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

private:
    Sources m_sources;
    ErrorRecord m_openError;
    QStringList m_warnings;
};

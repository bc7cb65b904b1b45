#pragma once

#include "itunes/MusicSourceTrack.h"

// A track whose properties are all known up front (read from a library export).
class ResolvedMusicTrack : public MusicSourceTrack {
public:
    explicit ResolvedMusicTrack(MusicTrackProperties properties) : m_properties(std::move(properties)) {}

    QString persistentID() const override { return m_properties.persistentID; }
    std::shared_ptr<MusicSourceTrack> get() override { return shared_from_this(); }
    const MusicTrackProperties &properties() override { return m_properties; }
    // For the reader, which derives IDs only once the whole export is read.
    void setPersistentID(const QString &id) { m_properties.persistentID = id; }
    // For a source that finds the files elsewhere than the export says.
    void setLocation(QString location) { m_properties.location = std::move(location); }

private:
    MusicTrackProperties m_properties;
};

#pragma once

#include "itunes/MusicSourceTrack.h"

#include <optional>

// A track of a music folder: known by its path, its tags read with TagLib
// when it is first resolved.
class FolderMusicTrack : public MusicSourceTrack {
public:
    FolderMusicTrack(QString path, QString persistentID, int databaseID)
        : m_path(std::move(path)), m_persistentID(std::move(persistentID)), m_databaseID(databaseID) {}

    QString persistentID() const override { return m_persistentID; }
    std::shared_ptr<MusicSourceTrack> get() override;
    const MusicTrackProperties &properties() override;

private:
    QString m_path;
    QString m_persistentID;
    int m_databaseID;
    std::optional<MusicTrackProperties> m_properties;
};

#pragma once

#include "itunes/MusicSourceTrack.h"

#include <memory>
#include <optional>

class TagCache;

// A track of a music folder: known by its path, its tags read with TagLib
// when it is first resolved.
class FolderMusicTrack : public MusicSourceTrack {
public:
    // Tags come through `tags` when given.
    FolderMusicTrack(QString path, QString persistentID, int databaseID, std::shared_ptr<TagCache> tags = nullptr)
        : m_path(std::move(path)), m_persistentID(std::move(persistentID)), m_databaseID(databaseID), m_tags(std::move(tags)) {}

    QString persistentID() const override { return m_persistentID; }
    std::shared_ptr<MusicSourceTrack> get() override;
    const MusicTrackProperties &properties() override;

private:
    QString m_path;
    QString m_persistentID;
    int m_databaseID;
    std::shared_ptr<TagCache> m_tags;
    std::optional<MusicTrackProperties> m_properties;
};

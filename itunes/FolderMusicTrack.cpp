#include "itunes/FolderMusicTrack.h"

#include "itunes/AudioFileTagReader.h"
#include "itunes/TagCache.h"

std::shared_ptr<MusicSourceTrack> FolderMusicTrack::get()
{
    properties();
    return shared_from_this();
}

const MusicTrackProperties &FolderMusicTrack::properties()
{
    if (!m_properties) {
        MusicTrackProperties properties = m_tags ? m_tags->read(m_path) : AudioFileTagReader::read(m_path);
        properties.persistentID = m_persistentID;
        properties.databaseID = m_databaseID;
        m_properties = std::move(properties);
    }
    return *m_properties;
}

#include "itunes/FolderMusicTrack.h"

#include "itunes/AudioFileTagReader.h"

std::shared_ptr<MusicSourceTrack> FolderMusicTrack::get()
{
    properties();
    return shared_from_this();
}

const MusicTrackProperties &FolderMusicTrack::properties()
{
    if (!m_properties) {
        MusicTrackProperties properties = AudioFileTagReader::read(m_path);
        properties.persistentID = m_persistentID;
        properties.databaseID = m_databaseID;
        m_properties = std::move(properties);
    }
    return *m_properties;
}

#include "itunes/iTunesMusicPlaylist.h"

#include "itunes/MusicSourceError.h"
#include "platform/SystemLog.h"

void iTunesMusicPlaylist::getPlaylistTrackIDs()
{
    QStringList ids;
    if (m_iTPlaylist) {
        try {
            const MusicSourceTracks members = m_iTPlaylist->tracks().get();
            ids.reserve(qsizetype(members.size()));
            for (const auto &member : members)
                ids.append(member ? member->persistentID() : QString());
        } catch (const MusicSourceError &error) {
            systemLog(QStringLiteral("Cannot read the tracks of playlist %1: %2").arg(name(), error.message()));
            ids.clear();
        }
    }
    setTracks(ids);
}

QVariant iTunesMusicPlaylist::getPlaylistTracks()
{
    if (!m_iTPlaylist)
        return {};
    try {
        return QVariant::fromValue(m_iTPlaylist->tracks().get());
    } catch (const MusicSourceError &error) {
        systemLog(QStringLiteral("Cannot read the tracks of playlist %1: %2").arg(name(), error.message()));
        return {};
    }
}

QString iTunesMusicPlaylist::archiveClassName() const
{
    return QStringLiteral("iTunesMusicPlaylist");
}

QStringList iTunesMusicPlaylist::archiveClassHierarchy() const
{
    return {QStringLiteral("iTunesMusicPlaylist"), QStringLiteral("Playlist"), QStringLiteral("NSObject")};
}

KeyedCodablePtr iTunesMusicPlaylist::decodeiTunesMusicPlaylist(KeyedUnarchiver &coder)
{
    auto playlist = std::make_shared<iTunesMusicPlaylist>();
    playlist->initWithCoder(coder);
    return playlist;
}

#include "itunes/iTunesMusicTrack.h"

#include "itunes/MusicSourceError.h"

namespace {

// The last (at most) wanted components of path into components, last first;
// empty components do not count and the "/" that starts an absolute path is
// a component of its own. Returns how many were found.
int lastPathComponents(QStringView path, QStringView *components, int wanted)
{
    int found = 0;
    qsizetype end = path.size();
    while (found < wanted && end > 0) {
        const qsizetype slash = path.lastIndexOf(u'/', end - 1);
        if (slash + 1 < end)
            components[found++] = path.sliced(slash + 1, end - slash - 1);
        end = slash < 0 ? 0 : slash;
    }
    if (found < wanted && path.startsWith(u'/'))
        components[found++] = u"/";
    return found;
}

} // namespace

QString iTunesMusicTrack::albumIDForLocation(const QString &location)
{
    QStringView components[3];
    if (lastPathComponents(location, components, 3) < 3)
        return {};
    QString albumID;
    albumID.reserve(components[2].size() + 1 + components[1].size());
    albumID.append(components[2]).append(u'-').append(components[1]);
    return albumID;
}

namespace {

QStringView extensionOf(const QString &path)
{
    QStringView last;
    if (lastPathComponents(path, &last, 1) == 0)
        return u"";
    const qsizetype dot = last.lastIndexOf(u'.');
    if (dot <= 0)
        return u"";
    return last.sliced(dot + 1);
}

} // namespace

QString iTunesMusicTrack::pathExtension(const QString &path)
{
    return extensionOf(path).toString();
}

std::shared_ptr<iTunesMusicTrack> iTunesMusicTrack::initWithiTunesTrack(const std::shared_ptr<MusicSourceTrack> &track)
{
    if (!track)
        return nullptr;
    auto result = std::make_shared<iTunesMusicTrack>();
    try {
        const std::shared_ptr<MusicSourceTrack> resolved = track->get();
        if (!resolved)
            return nullptr;
        result->setLocation(resolved->properties().location);
        result->copyiTunesTrack(*resolved);
        return result;
    } catch (const MusicSourceError &) {
        return nullptr;
    }
}

iTunesMusicTrack &iTunesMusicTrack::copyiTunesTrack(MusicSourceTrack &track)
{
    const MusicTrackProperties &properties = track.properties();
    setAlbumID(albumIDForLocation(location()));
    setAlbum(properties.album);
    setAlbumArtist(properties.albumArtist);
    setArtists(properties.artist);
    setBitRate(properties.bitRate);
    setComposers(properties.composer);
    setDisc(properties.discNumber);
    setDuration(float(properties.duration * 1000.0));
    setGenres(properties.genre);
    setPersistentId(properties.persistentID);
    setSampleRate(properties.sampleRate);
    setSize(qint32(quint32(quint64(properties.size) & 0xFFFFFFFFu)));
    setTitle(properties.name);
    setTotalDiscs(properties.discCount);
    setTotalTracks(properties.trackCount);
    setTrack(properties.trackNumber);
    setReleased(properties.year);
    setDbUniqueId(properties.databaseID);
    // Tracks come in runs of one extension: one string serves a run.
    // ("/" is no extension: the first track always makes its string.)
    thread_local QString lastType = QStringLiteral("/");
    if (const QStringView extension = extensionOf(location()); extension != lastType)
        lastType = extension.toString().toLower();
    setType(lastType);
    if (type() == QLatin1String("m4p"))
        setDRMProtected(true);
    setStatus(1);
    return *this;
}

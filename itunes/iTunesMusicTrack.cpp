#include "itunes/iTunesMusicTrack.h"

#include "itunes/MusicSourceError.h"

QStringList iTunesMusicTrack::pathComponents(const QString &path)
{
    QStringList components;
    if (path.startsWith(u'/'))
        components.append(QStringLiteral("/"));
    for (const QStringView part : QStringView(path).split(u'/', Qt::SkipEmptyParts))
        components.append(part.toString());
    return components;
}

QString iTunesMusicTrack::albumIDForLocation(const QString &location)
{
    const QStringList components = pathComponents(location);
    const qsizetype n = components.size();
    if (n < 3)
        return {};
    return components.at(n - 3) + u'-' + components.at(n - 2);
}

QString iTunesMusicTrack::pathExtension(const QString &path)
{
    const QStringList components = pathComponents(path);
    if (components.isEmpty())
        return QStringLiteral("");
    const QString &last = components.last();
    const qsizetype dot = last.lastIndexOf(u'.');
    if (dot <= 0 || last == u'/')
        return QStringLiteral("");
    return last.mid(dot + 1);
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
    setType(pathExtension(location()).toLower());
    if (type() == QLatin1String("m4p"))
        setDRMProtected(true);
    setStatus(1);
    return *this;
}

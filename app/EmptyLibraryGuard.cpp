#include "app/EmptyLibraryGuard.h"

#include "library/MusicLibrary.h"

#include <QFile>
#include <QSet>

namespace EmptyLibraryGuard {

namespace {

bool isPublishable(const MusicLibrary &library, const QString &identifier)
{
    const std::shared_ptr<Track> track = library.tracks().value(identifier);
    return track && !track->DRMProtected();
}

} // namespace

bool hasTrackToPublish(MusicLibrary &library, bool entireLibrary)
{
    if (!entireLibrary)
        return !tracksToPublishIds(library, entireLibrary).isEmpty();
    // The first one answers: the guard runs before every run of a whole library.
    for (const QString &identifier : std::as_const(library.sortedTracks())) {
        if (isPublishable(library, identifier))
            return true;
    }
    return false;
}

QStringList tracksToPublishIds(MusicLibrary &library, bool entireLibrary)
{
    QStringList identifiers;
    if (entireLibrary) {
        for (const QString &identifier : std::as_const(library.sortedTracks())) {
            if (isPublishable(library, identifier))
                identifiers.append(identifier);
        }
        return identifiers;
    }
    QSet<QString> members;
    for (const std::shared_ptr<Playlist> &playlist : std::as_const(library.playlists())) {
        if (!playlist || !playlist->isSelected())
            continue;
        for (const QString &identifier : MusicLibrary::syncedMembersOf(*playlist)) {
            if (!members.contains(identifier) && isPublishable(library, identifier)) {
                members.insert(identifier);
                identifiers.append(identifier);
            }
        }
    }
    return identifiers;
}

qint64 songsListedIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    static const QByteArray element = QByteArrayLiteral("<Song ");
    qint64 count = 0;
    QByteArray carried;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 16);
        if (chunk.isEmpty())
            break;
        // The last bytes of a chunk may begin an element the next one ends.
        const QByteArray window = carried + chunk;
        count += window.count(element);
        carried = window.right(element.size() - 1);
    }
    return count;
}

} // namespace EmptyLibraryGuard

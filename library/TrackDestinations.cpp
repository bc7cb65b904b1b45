#include "library/TrackDestinations.h"

#include "library/ShareFiles.h"

#include <QSet>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <mutex>

namespace {

// Path components as the engine counts them: the root "/" of an absolute
// path is a component of its own, as is a trailing "/".
QStringList pathComponents(const QString &path)
{
    QStringList components;
    if (path.isEmpty())
        return components;
    if (path.startsWith(u'/'))
        components.append(QStringLiteral("/"));
    for (const QStringView part : QStringView(path).split(u'/', Qt::SkipEmptyParts))
        components.append(part.toString());
    if (path.size() > 1 && path.endsWith(u'/'))
        components.append(QStringLiteral("/"));
    return components;
}

// A name the share cannot tell apart from nothing: empty, or only spaces and
// full stops. "." and ".." are not: they are refused as unsafe.
bool isNameless(QStringView name)
{
    if (name == u"." || name == u"..")
        return false;
    for (const QChar character : name) {
        if (character != u' ' && character != u'.')
            return false;
    }
    return true;
}

// The position of the extension's full stop in a file name; -1 for none.
qsizetype extensionStart(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? dot : -1;
}

// The longest name, in bytes, that the share's file systems hold.
constexpr qsizetype MaximumNameBytes = 255;

// name cut at a character so that it and then tail fit in one file name
// (a transliterated name can grow past it: three bytes of a Chinese
// character become five letters and a space).
QString fitted(const QString &name, const QString &tail = QString())
{
    // A UTF-16 unit is at most three bytes of UTF-8: most names need no count.
    if ((name.size() + tail.size()) * 3 <= MaximumNameBytes)
        return name + tail;
    const qsizetype room = MaximumNameBytes - tail.toUtf8().size();
    if (room < 1)
        return fitted(name + tail); // no room for a name before so long an extension
    if (name.toUtf8().size() <= room)
        return name + tail;
    QString cut;
    qsizetype bytes = 0;
    for (qsizetype index = 0; index < name.size();) {
        const qsizetype length = name.at(index).isHighSurrogate() && index + 1 < name.size() ? 2 : 1;
        const qsizetype characterBytes = name.mid(index, length).toUtf8().size();
        if (bytes + characterBytes > room)
            break;
        cut += name.mid(index, length);
        bytes += characterBytes;
        index += length;
    }
    // Not ending in the space or full stop that the cut laid bare.
    while (cut.size() > 1 && (cut.endsWith(u' ') || cut.endsWith(u'.')))
        cut.chop(1);
    return cut + tail;
}

// A file name of at most MaximumNameBytes: the extension kept, the rest cut.
QString fittedFileName(const QString &name)
{
    const qsizetype dot = extensionStart(name);
    return dot < 0 ? fitted(name) : fitted(name.left(dot), name.mid(dot));
}

QString withIdentifier(const QString &songPath, const QString &identifier)
{
    const qsizetype dot = extensionStart(songPath);
    const QString tail = u" (" + identifier + u')' + (dot < 0 ? QString() : songPath.mid(dot));
    return fitted(dot < 0 ? songPath : songPath.left(dot), tail);
}

// The key under which two paths name one file: the share may compare names
// without regard to case (components are ASCII). A 64-bit FNV-1a hash keeps
// the set of 100,000 paths small; two distinct paths meeting in it is
// improbable (about 1 in 10^9 for such a library) and would only give one
// track its persistent ID in its name.
quint64 claimKey(QStringView artistPath, QStringView albumPath, QStringView songPath)
{
    quint64 hash = 14695981039346656037ULL;
    const auto add = [&hash](char16_t unit) {
        if (unit >= u'A' && unit <= u'Z')
            unit = char16_t(unit + (u'a' - u'A'));
        hash = (hash ^ unit) * 1099511628211ULL;
    };
    for (const QStringView part : {artistPath, albumPath, songPath}) {
        for (const QChar character : part)
            add(character.unicode());
        add(u'/');
    }
    return hash;
}

// The three components of a share-relative path "artist/album/song".
bool splitListedPath(const QString &path, QStringView *artist, QStringView *album, QStringView *song)
{
    const qsizetype first = path.indexOf(u'/');
    const qsizetype second = first < 0 ? -1 : path.indexOf(u'/', first + 1);
    if (second < 0 || path.indexOf(u'/', second + 1) >= 0)
        return false;
    const QStringView view(path);
    *artist = view.first(first);
    *album = view.sliced(first + 1, second - first - 1);
    *song = view.sliced(second + 1);
    return true;
}

} // namespace

TrackDestinations::TrackDestinations(CharacterSet removed, QString musicFolder)
    : m_removed(std::move(removed)), m_musicFolder(std::move(musicFolder))
{
}

QString TrackDestinations::withoutCharacters(const CharacterSet &removed, const QString &name)
{
    if (name.isNull())
        return {};
    // Most names keep every character: they are shared, not copied.
    const char16_t *const begin = reinterpret_cast<const char16_t *>(name.utf16());
    const char16_t *const end = begin + name.size();
    const char16_t *first = begin;
    while (first != end && !removed.contains(*first))
        ++first;
    if (first == end)
        return name;
    QString result;
    result.reserve(name.size());
    result.append(QStringView(begin, first));
    for (const char16_t *unit = first + 1; unit != end; ++unit) {
        if (!removed.contains(*unit))
            result.append(QChar(*unit));
    }
    return result;
}

QString TrackDestinations::unsafeReason(const QString &musicFolder, const QString &artistPath,
                                        const QString &albumPath, const QString &songPath)
{
    if (musicFolder.isEmpty())
        return QStringLiteral("No music folder is set on the share.");
    for (const QString &component : {artistPath, albumPath}) {
        if (component == u"." || component == u"..")
            return QStringLiteral("The folder name \"%1\" would place the file outside the music folder.").arg(component);
    }
    if (songPath.isEmpty() || songPath == u"." || songPath == u"..")
        return QStringLiteral("The file name \"%1\" left after removing unsupported characters is not a file name.")
            .arg(songPath);
    return {};
}

QString TrackDestinations::transliterated(const QString &text)
{
    // One transliterator for the process: building it takes milliseconds and
    // an instance may not be used by two threads at once.
    static std::mutex guard;
    static std::unique_ptr<icu::Transliterator> transliterator;
    static bool built = false;
    const std::lock_guard<std::mutex> lock(guard);
    if (!built) {
        built = true;
        UErrorCode status = U_ZERO_ERROR;
        transliterator.reset(icu::Transliterator::createInstance(icu::UnicodeString(u"Any-Latin; Latin-ASCII"),
                                                                 UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            transliterator.reset();
    }
    if (!transliterator)
        return {};
    icu::UnicodeString converted(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
    transliterator->transliterate(converted);
    return QString(reinterpret_cast<const QChar *>(converted.getBuffer()), converted.length());
}

QString TrackDestinations::listedPathOfLocation(const QString &location)
{
    // ...Music\artist\album\song: the last three separators, "Music" before them.
    qsizetype separators[3];
    qsizetype from = location.size() - 1;
    for (qsizetype &separator : separators) {
        separator = from < 0 ? -1 : location.lastIndexOf(u'\\', from);
        if (separator <= 0)
            return {};
        from = separator - 1;
    }
    const qsizetype artistStart = separators[2];
    const qsizetype musicStart = location.lastIndexOf(u'\\', artistStart - 1) + 1;
    if (QStringView(location).sliced(musicStart, artistStart - musicStart).compare(u"Music", Qt::CaseInsensitive) != 0)
        return {};
    QString path = location.mid(artistStart + 1);
    path.replace(u'\\', u'/');
    return path;
}

QString TrackDestinations::folderName(const QString &component, const QString &unknown) const
{
    const QString plain = sanitised(component);
    if (!isNameless(plain))
        return fitted(plain);
    const QString latin = sanitised(transliterated(component)).trimmed();
    return isNameless(latin) ? unknown : fitted(latin);
}

QString TrackDestinations::fileName(const QString &component, const QString &persistentId) const
{
    const QString plain = sanitised(component);
    const qsizetype dot = extensionStart(component);
    const QString stem = dot < 0 ? component : component.left(dot);
    if (!isNameless(sanitised(stem)))
        return fittedFileName(plain);
    QString name = sanitised(transliterated(stem)).trimmed();
    if (isNameless(name))
        name = sanitised(persistentId);
    if (isNameless(name))
        name = QStringLiteral("Unknown Track");
    return fittedFileName(dot < 0 ? name : name + sanitised(component.mid(dot)));
}

bool TrackDestinations::isAcceptableListedPart(QStringView part) const
{
    if (isNameless(part) || part == u"." || part == u"..")
        return false;
    for (const QChar character : part) {
        if (m_removed.contains(character.unicode()))
            return false;
    }
    return true;
}

namespace {

// The last of a run of equal names, kept as one string.
class SharedName {
public:
    const QString &of(QStringView name)
    {
        changesTo(name);
        return m_name;
    }
    // Whether name differs from the one before (always for the first).
    bool changesTo(QStringView name)
    {
        if (m_seen && m_name == name)
            return false;
        m_seen = true;
        m_name = name.toString();
        return true;
    }

private:
    bool m_seen = false;
    QString m_name;
};

} // namespace

void TrackDestinations::plan(const TrackMap &tracks, const QStringList &sortedTracks)
{
    QSet<quint64> claimed;
    QSet<const Track *> placed;
    m_moved.clear();
    claimed.reserve(sortedTracks.size());
    placed.reserve(sortedTracks.size());
    // Each track looked up once: both passes and the writer walk this.
    m_planned.clear();
    m_planned.reserve(size_t(sortedTracks.size()));
    m_albumFolderPresent.clear();
    for (const QString &identifier : sortedTracks) {
        const auto found = tracks.constFind(identifier);
        m_planned.push_back(found == tracks.cend() ? nullptr : found.value().get());
    }

    // An album's tracks follow one another: their equal folder names are
    // one string, not one per track.
    SharedName listedArtist, listedAlbum;
    // A listed track keeps its place, so what the server knows stays true.
    for (Track *const track : m_planned) {
        QStringView artist, album, song;
        if (!track || track->status() != 0 || m_musicFolder.isEmpty() || placed.contains(track)
            || !splitListedPath(track->listedPath(), &artist, &album, &song) || !isAcceptableListedPart(artist)
            || !isAcceptableListedPart(album) || !isAcceptableListedPart(song))
            continue;
        const quint64 key = claimKey(artist, album, song);
        if (claimed.contains(key))
            continue;
        claimed.insert(key);
        placed.insert(track);
        track->setArtistPath(listedArtist.of(artist));
        track->setAlbumPath(listedAlbum.of(album));
        track->setSongPath(song.toString());
    }

    SharedName artistComponent, albumComponent;
    QString artistPath, albumPath;
    for (Track *const track : m_planned) {
        if (!track || placed.contains(track))
            continue;
        placed.insert(track);
        // Listed elsewhere than it goes now: the file is copied to its new place.
        if (track->status() == 0 && !track->listedPath().isNull())
            m_moved.insert(track);
        const QStringList components = pathComponents(track->location());
        if (components.size() < 4) {
            track->setArtistPath({});
            track->setAlbumPath({});
            track->setSongPath({});
            continue;
        }
        const qsizetype count = components.size();
        if (artistComponent.changesTo(components.at(count - 3)))
            artistPath = folderName(components.at(count - 3), QStringLiteral("Unknown Artist"));
        if (albumComponent.changesTo(components.at(count - 2)))
            albumPath = folderName(components.at(count - 2), QStringLiteral("Unknown Album"));
        QString songPath = fileName(components.at(count - 1), track->persistentId());
        quint64 key = claimKey(artistPath, albumPath, songPath);
        if (claimed.contains(key)) {
            songPath = withIdentifier(songPath, sanitised(track->persistentId()));
            key = claimKey(artistPath, albumPath, songPath);
        }
        claimed.insert(key);
        track->setArtistPath(artistPath);
        track->setAlbumPath(albumPath);
        track->setSongPath(songPath);
    }
}

QString TrackDestinations::nameOfItsOwn(const QString &songPath, const Track &track) const
{
    const QString identifier = sanitised(track.persistentId());
    if (identifier.isEmpty() || songPath.contains(u" (" + identifier + u')'))
        return {};
    return withIdentifier(songPath, identifier);
}

bool TrackDestinations::isOnShare(const Destination &destination, const QString &path) const
{
    const QString albumFolder = destination.artistPath + u'/' + destination.albumPath;
    auto known = m_albumFolderPresent.constFind(albumFolder);
    if (known == m_albumFolderPresent.cend())
        known = m_albumFolderPresent.insert(albumFolder, ShareFiles::exists(m_musicFolder + u'/' + albumFolder));
    return known.value() && ShareFiles::exists(path);
}

std::optional<TrackDestinations::Destination> TrackDestinations::destinationOf(const Track &track) const
{
    if (track.songPath().isNull())
        return std::nullopt;
    Destination destination{track.artistPath(), track.albumPath(), track.songPath(), {}, false, false, {}};
    destination.refusal = unsafeReason(m_musicFolder, destination.artistPath, destination.albumPath,
                                       destination.songPath);
    const bool moved = track.status() == 0 && m_moved.contains(&track);
    if (track.status() != 1 && !moved)
        return destination;
    // Each check of the share is made once: over SMB every one is a round trip.
    const QString path = m_musicFolder + u'/' + destination.relativePath();
    bool present = false;
    if (moved) {
        present = isOnShare(destination, path);
        destination.needsCopy = !present;
    } else {
        destination.needsCopy = true;
    }
    if (!destination.needsCopy || !destination.refusal.isNull())
        return destination;
    if (!moved)
        present = isOnShare(destination, path);
    if (!present) {
        destination.foundAbsent = true;
        destination.songPathIfTaken = nameOfItsOwn(destination.songPath, track);
        return destination;
    }

    // Another track's file (of another library, or an older copy) under the
    // path: this track gets a name of its own. That name can hold an older
    // copy of this very track (its file changed twice): then a numbered one.
    if (ShareFiles::holdsAnotherFile(path, track.location())) {
        const QString plannedName = destination.songPath;
        const QString identifier = sanitised(track.persistentId());
        QString ownName = nameOfItsOwn(plannedName, track);
        for (int number = 2; !ownName.isNull() && number <= MaximumNumberedNames; ++number) {
            destination.songPath = ownName;
            const QString ownPath = m_musicFolder + u'/' + destination.relativePath();
            if (!ShareFiles::exists(ownPath) || !ShareFiles::holdsAnotherFile(ownPath, track.location()))
                break;
            ownName = withIdentifier(plannedName, identifier + u' ' + QString::number(number));
        }
    }
    return destination;
}

#include "library/ShareVerifier.h"

#include "library/DescriptionFileReader.h"
#include "library/EngineErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sys/stat.h>

namespace {

const QString LibraryFolder = QStringLiteral("Library");
const QString MusicFolder = QStringLiteral("Music");
const QString ArtworkFolder = QStringLiteral("Artwork");
const QString ArtworkFile = QStringLiteral("Artwork/Artwork.xml");

struct KindInfo {
    const char *name;
    QStringList columns;
};

const KindInfo &infoOf(ShareVerifier::Kind kind)
{
    static const KindInfo kinds[ShareVerifier::KindCount] = {
        {"missing-song", {QStringLiteral("id"), QStringLiteral("path"), QStringLiteral("title")}},
        {"wrong-size",
         {QStringLiteral("id"), QStringLiteral("path"), QStringLiteral("listedSize"), QStringLiteral("foundSize")}},
        {"missing-cover", {QStringLiteral("albumId"), QStringLiteral("path")}},
        {"orphan", {QStringLiteral("path")}},
        {"dangling-playlist-entry",
         {QStringLiteral("playlistId"), QStringLiteral("trackId"), QStringLiteral("playlistName")}},
        {"not-on-share", {QStringLiteral("id"), QStringLiteral("title"), QStringLiteral("location")}},
        {"foreign-location", {QStringLiteral("id"), QStringLiteral("location")}},
        {"missing-artwork-file", {QStringLiteral("path")}},
    };
    return kinds[int(kind)];
}

std::optional<qint64> decimal(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    qint64 value = 0;
    const auto [end, failure] = std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), value);
    if (failure != std::errc() || end != bytes.constData() + bytes.size() || bytes.isEmpty())
        return std::nullopt;
    return value;
}

struct FileStatus {
    int failure = 0; // errno of stat, 0 when it succeeded
    mode_t type = 0; // after symbolic links
    qint64 size = 0;

    bool isRegular() const { return failure == 0 && type == S_IFREG; }
    bool isMissing() const { return failure == ENOENT; }
};

FileStatus statusOf(const QString &path)
{
    FileStatus status;
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        status.failure = errno;
        return status;
    }
    status.type = info.st_mode & S_IFMT;
    status.size = qint64(info.st_size);
    return status;
}

ErrorRecord verifyError(int code, const QString &description, const QString &path)
{
    ErrorRecord error = ErrorRecord::withDescription(EngineErrors::PosixDomain, code, description);
    error.addDetail(EngineErrors::FilePathKey, path);
    return error;
}

// Reads a description file that must be a regular file (a FIFO would block
// the read for good); false with error set when it cannot be read whole.
bool readDescriptionFile(const QString &path, const QString &shown, const DescriptionFileReader::StartElement &start,
                         ErrorRecord *error)
{
    const FileStatus status = statusOf(path);
    if (status.failure != 0) {
        *error = verifyError(status.failure,
                             QStringLiteral("%1 cannot be read: %2")
                                 .arg(shown, QString::fromLocal8Bit(std::strerror(status.failure))),
                             path);
        return false;
    }
    if (!status.isRegular()) {
        *error = verifyError(EINVAL, QStringLiteral("%1 is not a regular file").arg(shown), path);
        return false;
    }
    std::optional<ErrorRecord> failure;
    DescriptionFileReader reader(start, [&failure](const ErrorRecord &found) {
        if (!failure)
            failure = found;
    });
    reader.readFile(path);
    if (!failure)
        return true;
    QString description = QStringLiteral("%1 cannot be read: %2").arg(shown, failure->localizedDescription().trimmed());
    if (failure->domain() == EngineErrors::XMLParserDomain)
        description += QStringLiteral(" (line %1, column %2)")
                           .arg(failure->detail(QStringLiteral("LineNumber")).toInt())
                           .arg(failure->detail(QStringLiteral("ColumnNumber")).toInt());
    // The sentence takes the place of the parser's own description.
    *error = ErrorRecord::withDescription(failure->domain(), failure->code(), description);
    for (const auto &[key, value] : failure->details()) {
        if (key != ErrorRecord::LocalizedDescriptionKey && key != EngineErrors::FilePathKey)
            error->addDetail(key, value);
    }
    error->addDetail(EngineErrors::FilePathKey, path);
    return false;
}

} // namespace

QString ShareVerifier::Finding::description() const
{
    const auto value = [this](int index) { return values.value(index); };
    switch (kind) {
    case Kind::MissingSong:
        return QStringLiteral("Missing song file: %1 (%2, ID %3)").arg(value(1), value(2), value(0));
    case Kind::WrongSize:
        return QStringLiteral("Song file of another size: %1 holds %2 bytes, the library file lists %3 (ID %4)")
            .arg(value(1), value(3), value(2), value(0));
    case Kind::MissingCover:
        return QStringLiteral("Missing album cover: %1 (album %2)").arg(value(1), value(0));
    case Kind::Orphan:
        return QStringLiteral("File named by no description file: %1").arg(value(0));
    case Kind::DanglingPlaylistEntry:
        return QStringLiteral("Playlist entry naming no song: track %1 of the playlist %2 (%3)")
            .arg(value(1), value(2), value(0));
    case Kind::NotOnShare:
        return QStringLiteral("Not on the share: %1 (ID %2, %3)").arg(value(1), value(0), value(2));
    case Kind::ForeignLocation:
        return QStringLiteral("Location outside the share: %1 (ID %2)").arg(value(1), value(0));
    case Kind::MissingArtworkFile:
        return QStringLiteral("Missing artwork file: %1").arg(value(0));
    }
    return {};
}

int ShareVerifier::Counts::totalFindings() const
{
    int total = 0;
    for (const int count : findings)
        total += count;
    return total;
}

ShareVerifier::ShareVerifier(QString shareRoot, QString libraryId)
    : m_shareRoot(std::move(shareRoot)), m_libraryId(std::move(libraryId))
{
}

QString ShareVerifier::kindName(Kind kind)
{
    return QString::fromLatin1(infoOf(kind).name);
}

QStringList ShareVerifier::columns(Kind kind)
{
    return infoOf(kind).columns;
}

QString ShareVerifier::libraryFilePath() const
{
    return localPath(QStringLiteral("%1/%2.xml").arg(LibraryFolder, m_libraryId));
}

QString ShareVerifier::localPath(const QString &sharePath) const
{
    return m_shareRoot + u'/' + sharePath;
}

QString ShareVerifier::sharePathOfLocation(const QString &location)
{
    if (!location.startsWith(QLatin1String("\\\\")))
        return {};
    const QStringList parts = location.mid(2).split(u'\\');
    // server (empty when a run had none), share, then at least one name.
    if (parts.size() < 3 || parts.at(1).compare(QLatin1String("OrvanaMusic"), Qt::CaseInsensitive) != 0)
        return {};
    QStringList names = parts.mid(2);
    for (const QString &name : std::as_const(names)) {
        if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
            return {};
    }
    return names.join(u'/');
}

void ShareVerifier::report(Kind kind, QStringList values)
{
    ++m_counts.findings[int(kind)];
    if (m_sink && *m_sink)
        (*m_sink)(Finding{kind, std::move(values)});
}

bool ShareVerifier::verify(const FindingSink &sink, ErrorRecord *error)
{
    ErrorRecord failure;
    m_sink = &sink;
    m_counts = Counts();
    m_warnings.clear();
    m_songs.clear();
    m_playlistEntries.clear();
    m_albumCovers.clear();
    m_namedFiles.clear();
    m_otherLibrariesRead = true;
    const auto stopped = [this, &failure] {
        if (!m_stopRequested.load())
            return false;
        failure = verifyError(ECANCELED, QStringLiteral("The check was stopped before its end"), m_shareRoot);
        return true;
    };
    bool checked = readLibraryFile(&failure) && readArtworkFile(&failure);
    if (checked) {
        readOtherLibraryFiles();
        checkSongs();
        checkAlbumCovers();
        checkPlaylistEntries();
        checkExpectedTracks();
        checked = !stopped();
    }
    if (checked) {
        checkOrphans(MusicFolder);
        checkOrphans(ArtworkFolder);
        checked = !stopped();
    }
    m_sink = nullptr;
    if (!checked && error)
        *error = failure;
    return checked;
}

bool ShareVerifier::readLibraryFile(ErrorRecord *error)
{
    const QString path = libraryFilePath();
    const QString shown = QStringLiteral("The library file %1/%2.xml").arg(LibraryFolder, m_libraryId);
    if (statusOf(path).isMissing()) {
        QStringList identifiers;
        for (const QFileInfo &file : QDir(localPath(LibraryFolder)).entryInfoList({QStringLiteral("*.xml")}, QDir::Files))
            identifiers.append(file.completeBaseName());
        *error = verifyError(ENOENT,
                             identifiers.isEmpty()
                                 ? QStringLiteral("%1 is not on the share, which holds no library file").arg(shown)
                                 : QStringLiteral("%1 is not on the share, which holds the library files of: %2")
                                       .arg(shown, identifiers.join(QStringLiteral(", "))),
                             path);
        return false;
    }
    QString playlistId;
    QString playlistName;
    bool inPlaylist = false;
    const bool read = readDescriptionFile(
        path, shown,
        [&](const QString &name, const XmlAttributes &attributes) {
            if (DescriptionFileReader::isNamed(name, QLatin1String("song"))) {
                Song song;
                song.id = attributes.value("ID").value_or(QString());
                song.location = attributes.value("Location").value_or(QString());
                song.title = attributes.value("Title").value_or(QString());
                if (const std::optional<QString> size = attributes.value("Size"))
                    song.size = decimal(*size);
                m_songs.append(song);
            } else if (DescriptionFileReader::isNamed(name, QLatin1String("playlist"))) {
                inPlaylist = true;
                playlistId = attributes.value("ID").value_or(QString());
                playlistName = attributes.value("Name").value_or(QString());
                ++m_counts.playlists;
            } else if (inPlaylist && DescriptionFileReader::isNamed(name, QLatin1String("track"))) {
                m_playlistEntries.append({playlistId, playlistName, attributes.value("ID").value_or(QString())});
            }
        },
        error);
    m_counts.songs = int(m_songs.size());
    m_counts.playlistEntries = int(m_playlistEntries.size());
    return read;
}

bool ShareVerifier::readArtworkFile(ErrorRecord *error)
{
    const QString path = localPath(ArtworkFile);
    m_artworkFileFound = !statusOf(path).isMissing();
    if (!m_artworkFileFound)
        return true;
    const bool read = readDescriptionFile(
        path, QStringLiteral("The artwork file %1").arg(ArtworkFile),
        [this](const QString &name, const XmlAttributes &attributes) {
            if (!DescriptionFileReader::isNamed(name, QLatin1String("albumcover")))
                return;
            // As the engine reads it: a cover without either is no cover.
            const std::optional<QString> albumId = attributes.value("AlbumID");
            const std::optional<QString> coverPath = attributes.value("Path");
            if (albumId && coverPath)
                m_albumCovers.append({*albumId, *coverPath});
        },
        error);
    m_counts.albumCovers = int(m_albumCovers.size());
    return read;
}

void ShareVerifier::readOtherLibraryFiles()
{
    const QFileInfoList files = QDir(localPath(LibraryFolder)).entryInfoList({QStringLiteral("*.xml")}, QDir::Files);
    for (const QFileInfo &file : files) {
        if (file.completeBaseName() == m_libraryId)
            continue;
        const QString shown = QStringLiteral("The library file %1/%2").arg(LibraryFolder, file.fileName());
        ErrorRecord failure;
        const bool read = readDescriptionFile(
            file.filePath(), shown,
            [this](const QString &name, const XmlAttributes &attributes) {
                if (!DescriptionFileReader::isNamed(name, QLatin1String("song")))
                    return;
                const QString sharePath = sharePathOfLocation(attributes.value("Location").value_or(QString()));
                if (!sharePath.isNull())
                    m_namedFiles.insert(sharePath);
            },
            &failure);
        if (!read) {
            m_otherLibrariesRead = false;
            m_warnings.append(failure.localizedDescription()
                              + QStringLiteral("; files under Music/ that only it may name are not reported"));
        }
    }
}

void ShareVerifier::checkSongs()
{
    for (const Song &song : std::as_const(m_songs)) {
        if (m_stopRequested.load())
            return;
        const QString sharePath = sharePathOfLocation(song.location);
        if (sharePath.isNull()) {
            report(Kind::ForeignLocation, {song.id, song.location});
            continue;
        }
        m_namedFiles.insert(sharePath);
        const FileStatus file = statusOf(localPath(sharePath));
        if (!file.isRegular())
            report(Kind::MissingSong, {song.id, sharePath, song.title});
        else if (song.size && *song.size > 0 && *song.size != file.size)
            report(Kind::WrongSize, {song.id, sharePath, QString::number(*song.size), QString::number(file.size)});
    }
}

void ShareVerifier::checkAlbumCovers()
{
    if (!m_artworkFileFound) {
        report(Kind::MissingArtworkFile, {ArtworkFile});
        return;
    }
    m_namedFiles.insert(ArtworkFile);
    for (const auto &[albumId, location] : std::as_const(m_albumCovers)) {
        const QString sharePath = sharePathOfLocation(location);
        if (sharePath.isNull()) {
            report(Kind::ForeignLocation, {albumId, location});
            continue;
        }
        m_namedFiles.insert(sharePath);
        if (!statusOf(localPath(sharePath)).isRegular())
            report(Kind::MissingCover, {albumId, sharePath});
    }
}

void ShareVerifier::checkPlaylistEntries()
{
    QSet<QString> songIds;
    for (const Song &song : std::as_const(m_songs))
        songIds.insert(song.id);
    for (const PlaylistEntry &entry : std::as_const(m_playlistEntries)) {
        if (!songIds.contains(entry.trackId))
            report(Kind::DanglingPlaylistEntry, {entry.playlistId, entry.trackId, entry.playlistName});
    }
}

void ShareVerifier::checkExpectedTracks()
{
    if (m_expectedTracks.isEmpty())
        return;
    QSet<QString> songIds;
    for (const Song &song : std::as_const(m_songs))
        songIds.insert(song.id);
    m_counts.expectedTracks = int(m_expectedTracks.size());
    for (const ExpectedTrack &track : std::as_const(m_expectedTracks)) {
        if (!songIds.contains(track.persistentId))
            report(Kind::NotOnShare, {track.persistentId, track.title, track.location});
    }
}

void ShareVerifier::checkOrphans(const QString &folder)
{
    const bool reported = folder != MusicFolder || m_otherLibrariesRead;
    // Breadth first, without following symbolic links to folders: a link
    // is one entry, like a file.
    QStringList pending{folder};
    while (!pending.isEmpty() && !m_stopRequested.load()) {
        const QString current = pending.takeFirst();
        const QFileInfoList entries =
            QDir(localPath(current)).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            const QString sharePath = current + u'/' + entry.fileName();
            if (entry.isDir() && !entry.isSymLink()) {
                pending.append(sharePath);
                continue;
            }
            ++m_counts.filesOnShare;
            if (reported && !m_namedFiles.contains(sharePath))
                report(Kind::Orphan, {sharePath});
        }
    }
}

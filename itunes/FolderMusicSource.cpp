#include "itunes/FolderMusicSource.h"

#include "itunes/FolderMusicTrack.h"
#include "itunes/M3uPlaylistReader.h"
#include "itunes/TagCache.h"
#include "itunes/TagLibAudioFile.h"
#include "platform/FileNameSpelling.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QSet<QString> &mediaExtensions()
{
    static const QSet<QString> extensions = [] {
        QSet<QString> set = {
            QStringLiteral("wav"), QStringLiteral("wma"), QStringLiteral("mp3"), QStringLiteral("mp4"),
            QStringLiteral("m4a"), QStringLiteral("m4p"), QStringLiteral("aac"), QStringLiteral("ogg"),
            QStringLiteral("oga"), QStringLiteral("aiff"), QStringLiteral("aif"), QStringLiteral("aifc"),
            QStringLiteral("flac"), QStringLiteral("mov"), QStringLiteral("m4v"),
        };
        for (const QString &extension : TagLibAudioFile::readableExtensions())
            set.insert(extension);
        return set;
    }();
    return extensions;
}

QString extensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? QString() : fileName.mid(dot + 1).toLower();
}

struct Scan {
    QStringList tracks;          // relative paths, sorted
    QStringList playlists;       // relative paths, sorted
    QStringList namesNotInUtf8;  // relative paths in readableName() form, sorted
    int tracksNotInUtf8 = 0;
    QStringList unreadableFolders;  // "<relative path> cannot be read (<reason>)", sorted; "." is the folder itself
    QStringList unreadableTracks;   // media files that cannot be looked at, as unreadableFolders
    QStringList linksToNothing;     // "<relative path> is a link to <target>, which cannot be found", sorted
    int tracksLinkedToNothing = 0;
    QStringList shares;             // folders that are a music server's share, not entered
};

// bytes with every byte that is not part of a UTF-8 character as \xHH, so
// that the user can find the file.
QString readableName(const QByteArray &bytes)
{
    QString text;
    for (qsizetype index = 0; index < bytes.size();) {
        const uchar lead = uchar(bytes.at(index));
        const qsizetype length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length > 0 && index + length <= bytes.size()) {
            const QByteArray character = bytes.mid(index, length);
            const QString decoded = QString::fromUtf8(character);
            if (decoded.toUtf8() == character) {
                text += decoded;
                index += length;
                continue;
            }
        }
        text += QString::asprintf("\\x%02X", lead);
        ++index;
    }
    return text;
}

QByteArray linkTarget(const QByteArray &path)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length = ::readlink(path.constData(), target.data(), size_t(target.size()));
    return length < 0 ? QByteArray("?") : target.left(length);
}

// The path with every link resolved; the path as given when that fails (the
// folder's open then says why).
QByteArray canonicalPath(const QByteArray &path)
{
    char *resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return path;
    QByteArray canonical(resolved);
    std::free(resolved);
    return canonical;
}

QString cannotBeRead(const QByteArray &relative, int error)
{
    return QStringLiteral("%1 cannot be read (%2)").arg(readableName(relative), QString::fromLocal8Bit(std::strerror(error)));
}

struct Entry {
    QByteArray name;
    unsigned char type; // DT_DIR, DT_LNK, DT_REG (anything else) or DT_UNKNOWN
};

// Folders a file system or another system keeps for itself at a disk's
// root: never music, and often not readable by the user.
bool isSystemFolder(const QByteArray &name)
{
    return name == "lost+found" || name == "System Volume Information" || name == "$RECYCLE.BIN" || name == "RECYCLER";
}

// The listing of an open folder without its hidden entries and system
// folders; the error that broke it off, 0 when none did.
int readEntries(DIR *directory, std::vector<Entry> &entries)
{
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(directory);
        if (!entry)
            return errno;
        if (entry->d_name[0] == '.')
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat info;
            if (::fstatat(::dirfd(directory), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
        }
        QByteArray name(entry->d_name);
        if (type == DT_DIR && isSystemFolder(name))
            continue;
        entries.push_back({std::move(name), type});
    }
}

// Whether a folder is a music server's share as a run leaves it (mounted
// inside the music folder): its files are the copies of a library, and
// read as music they would go back onto the share as new tracks on every
// run.
bool isShareRoot(const QByteArray &path, const std::vector<Entry> &entries)
{
    int layoutFolders = 0;
    for (const Entry &entry : entries) {
        if (entry.type == DT_DIR && (entry.name == "Music" || entry.name == "Library" || entry.name == "Artwork"))
            ++layoutFolders;
    }
    struct stat info;
    return layoutFolders == 3 && ::stat(QByteArray(path + "/Artwork/Artwork.xml").constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// Every media and playlist file below root, walked by the bytes of the
// names: a name that is not UTF-8 cannot be opened again through text, so
// it is set apart instead of being passed over unseen. Hidden entries and
// system folders (lost+found) are not entered. Linked folders are, after
// every folder of the tree itself, each folder once (by its path with the
// links resolved), so that a link back into the tree neither lists its
// tracks twice nor loops; a link to a file counts as the file. A folder
// that cannot be listed (or whose listing breaks off) and a link that leads
// nowhere (into a disk that is not mounted, most often) are set apart: what
// they hold would otherwise go missing from the library unsaid. A music
// server's share inside the folder is not entered.
Scan scanFolder(const QString &root)
{
    Scan scan;
    struct Folder {
        QByteArray path;
        QByteArray relative;
        QByteArray canonical; // without links, so that two ways to one folder compare equal
        bool tree = false;    // the music folder itself or a linked folder
    };
    // By path, not by inode numbers, which some network and FUSE file
    // systems do not keep apart.
    std::vector<QByteArray> trees; // the canonical paths of the trees entered
    const auto inTree = [&trees](const QByteArray &canonical) {
        return std::any_of(trees.begin(), trees.end(), [&canonical](const QByteArray &tree) {
            return canonical.startsWith(tree)
                && (canonical.size() == tree.size() || tree.endsWith('/') || canonical.at(tree.size()) == '/');
        });
    };
    const QByteArray rootPath = QFile::encodeName(root);
    std::vector<Folder> pending{{rootPath, {}, canonicalPath(rootPath), true}};
    std::vector<Folder> linked;  // taken in name order once pending is done
    while (!pending.empty() || !linked.empty()) {
        if (pending.empty()) {
            std::sort(linked.begin(), linked.end(), [](const Folder &a, const Folder &b) { return a.relative > b.relative; });
            pending.push_back(std::move(linked.back()));
            linked.pop_back();
        }
        const Folder folder = std::move(pending.back());
        pending.pop_back();
        const auto setApart = [&scan, &folder](int error) {
            scan.unreadableFolders.append(cannotBeRead(folder.relative.isEmpty() ? QByteArray(".") : folder.relative, error));
        };
        DIR *directory = ::opendir(folder.path.constData());
        if (!directory) {
            setApart(errno);
            continue;
        }
        // A linked folder within a tree entered before lists nothing new; a
        // folder that is a tree entered before was listed there.
        if (folder.tree ? inTree(folder.canonical) : std::find(trees.begin(), trees.end(), folder.canonical) != trees.end()) {
            ::closedir(directory);
            continue;
        }
        if (folder.tree)
            trees.push_back(folder.canonical);
        std::vector<Entry> entries;
        if (const int error = readEntries(directory, entries); error != 0)
            setApart(error);
        ::closedir(directory);
        if (isShareRoot(folder.path, entries)) {
            scan.shares.append(folder.relative.isEmpty() ? QStringLiteral(".") : readableName(folder.relative));
            continue;
        }
        for (const Entry &entry : entries) {
            const QByteArray &name = entry.name;
            const QByteArray path = folder.path + '/' + name;
            const QByteArray relative = folder.relative.isEmpty() ? name : folder.relative + '/' + name;
            struct stat info;
            const unsigned char type = entry.type;
            if (type == DT_DIR) {
                pending.push_back({path, relative, folder.canonical + (folder.canonical.endsWith('/') ? "" : "/") + name, false});
                continue;
            }
            const QString fileName = QFile::decodeName(name);
            const bool media = FolderMusicSource::isMediaFile(fileName);
            const bool playlist = FolderMusicSource::isPlaylistFile(fileName);
            if (!media && !playlist && type != DT_LNK)
                continue;
            if (::stat(path.constData(), &info) != 0) {
                const int error = errno;
                if (type == DT_LNK && error == ENOENT) {
                    // Said of a link that could be a folder or a track, not of
                    // one to a stray picture or document.
                    if (media || playlist || extensionOf(fileName).isEmpty()) {
                        scan.linksToNothing.append(QStringLiteral("%1 is a link to %2, which cannot be found")
                                                       .arg(readableName(relative), readableName(linkTarget(path))));
                        scan.tracksLinkedToNothing += media ? 1 : 0;
                    }
                } else if (media) {
                    scan.unreadableTracks.append(cannotBeRead(relative, error));
                }
                continue;
            }
            if (S_ISDIR(info.st_mode)) {
                linked.push_back({path, relative, canonicalPath(path), true});
                continue;
            }
            if ((!media && !playlist) || !S_ISREG(info.st_mode))
                continue;
            const QString relativePath = QFile::decodeName(relative);
            if (QFile::encodeName(relativePath) != relative) {
                scan.namesNotInUtf8.append(readableName(relative));
                scan.tracksNotInUtf8 += media ? 1 : 0;
            } else {
                (media ? scan.tracks : scan.playlists).append(relativePath);
            }
        }
    }
    std::sort(scan.tracks.begin(), scan.tracks.end());
    std::sort(scan.playlists.begin(), scan.playlists.end());
    std::sort(scan.namesNotInUtf8.begin(), scan.namesNotInUtf8.end());
    std::sort(scan.unreadableFolders.begin(), scan.unreadableFolders.end());
    std::sort(scan.unreadableTracks.begin(), scan.unreadableTracks.end());
    std::sort(scan.linksToNothing.begin(), scan.linksToNothing.end());
    return scan;
}

// The tracks by path, for the playlist files. A playlist written where
// names ignore letter case and Unicode form (see FileNameSpelling) still
// names the files here: a name is looked up in composed form, then
// ignoring case where that names one file only.
//
// A playlist written on another computer names files by that computer's
// paths ("C:\Users\ann\Music\Artist\Album\01.mp3", "/home/old/Music/..."):
// an entry outside the folder names the track whose path within the folder
// is the longest of the entry's trailing parts, two components at least.
class TracksByPath {
public:
    explicit TracksByPath(const QString &root) : m_rootPrefix(root.endsWith(u'/') ? root : root + u'/') {}

    void insert(const QString &relative, qsizetype index)
    {
        const QString path = m_rootPrefix + relative;
        m_composed.insert(path.normalized(QString::NormalizationForm_C), index);
        insertOnce(m_folded, FileNameSpelling::folded(path), index);
        insertOnce(m_foldedWithin, FileNameSpelling::folded(relative), index);
    }
    std::optional<qsizetype> find(const QString &path) const
    {
        const QString composed = path.normalized(QString::NormalizationForm_C);
        if (const auto hit = m_composed.constFind(composed); hit != m_composed.cend())
            return hit.value();
        const QString folded = FileNameSpelling::folded(path);
        if (const auto hit = m_folded.constFind(folded); hit != m_folded.cend())
            return hit.value() == Ambiguous ? std::nullopt : std::optional<qsizetype>(hit.value());
        if (path.startsWith(m_rootPrefix))
            return std::nullopt;
        const QStringList parts = folded.split(u'/', Qt::SkipEmptyParts);
        for (qsizetype first = 0; first + 2 <= parts.size(); ++first) {
            const QString within = QStringList(parts.begin() + first, parts.end()).join(u'/');
            if (const auto hit = m_foldedWithin.constFind(within); hit != m_foldedWithin.cend())
                return hit.value() == Ambiguous ? std::nullopt : std::optional<qsizetype>(hit.value());
        }
        return std::nullopt;
    }

private:
    static constexpr qsizetype Ambiguous = -1;
    static void insertOnce(QHash<QString, qsizetype> &paths, const QString &path, qsizetype index)
    {
        if (const auto known = paths.find(path); known != paths.end())
            known.value() = Ambiguous;
        else
            paths.insert(path, index);
    }

    QString m_rootPrefix;
    QHash<QString, qsizetype> m_composed;
    QHash<QString, qsizetype> m_folded;
    QHash<QString, qsizetype> m_foldedWithin; // relative to the root
};

// One warning per entry, each made by `line`, the first 20 of a kind only,
// and the count under `reason` among the left-out entries.
void reportLeftOut(const QStringList &entries, const QString &reason, const std::function<QString(const QString &)> &line,
                   MusicApplication &application)
{
    if (entries.isEmpty())
        return;
    constexpr qsizetype shown = 20;
    QStringList warnings;
    for (const QString &entry : entries.first(std::min(entries.size(), shown)))
        warnings.append(line(entry));
    if (entries.size() > shown)
        warnings.append(QStringLiteral("... and %1 more %2").arg(entries.size() - shown).arg(reason));
    application.addWarnings(warnings);
    application.addLeftOut({{reason, int(entries.size())}});
}

void reportLeftOut(const Scan &scan, MusicApplication &application)
{
    reportLeftOut(scan.namesNotInUtf8, QStringLiteral("files whose names are not UTF-8"),
                  [](const QString &name) { return QStringLiteral("%1 has a name that is not UTF-8, left out: rename it").arg(name); },
                  application);
    reportLeftOut(scan.unreadableFolders, QStringLiteral("folders that cannot be read"),
                  [](const QString &folder) { return QStringLiteral("The folder %1, what it holds is left out").arg(folder); },
                  application);
    const auto leftOutLine = [](const QString &entry) { return QStringLiteral("%1, left out").arg(entry); };
    reportLeftOut(scan.unreadableTracks, QStringLiteral("files that cannot be read"), leftOutLine, application);
    reportLeftOut(scan.linksToNothing, QStringLiteral("links that lead nowhere"), leftOutLine, application);
}

} // namespace

bool FolderMusicSource::isMediaFile(const QString &fileName)
{
    return !fileName.startsWith(u'.') && mediaExtensions().contains(extensionOf(fileName));
}

bool FolderMusicSource::isPlaylistFile(const QString &fileName)
{
    const QString extension = extensionOf(fileName);
    return !fileName.startsWith(u'.') && (extension == QLatin1String("m3u") || extension == QLatin1String("m3u8"));
}

QString FolderMusicSource::persistentIDForPath(const QString &relativePath)
{
    const QByteArray key = relativePath.normalized(QString::NormalizationForm_C).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).left(8).toHex().toUpper());
}

std::shared_ptr<MusicSource> FolderMusicSource::scan(const QString &root, MusicApplication *application,
                                                     std::shared_ptr<TagCache> tags)
{
    const QString rootPath = QDir(root).absolutePath();
    const QDir rootDir(rootPath);
    Scan found = scanFolder(rootPath);
    if (application) {
        application->addListedTrackCount(int(found.tracks.size()) + found.tracksNotInUtf8 + int(found.unreadableTracks.size())
                                         + found.tracksLinkedToNothing);
        reportLeftOut(found, *application);
        for (const QString &share : std::as_const(found.shares))
            application->addNote(QStringLiteral("The folder %1 is a music server's share (it holds Music, Library and "
                                                 "Artwork), not music to sync: not read").arg(share));
    }

    using Tracks = std::vector<std::shared_ptr<MusicSourceTrack>>;
    auto tracks = std::make_shared<Tracks>();
    tracks->reserve(size_t(found.tracks.size()));
    auto indexByPath = std::make_shared<TracksByPath>(rootPath);
    for (const QString &relative : std::as_const(found.tracks)) {
        indexByPath->insert(relative, qsizetype(tracks->size()));
        const int databaseID = int(tracks->size()) + 1;
        tracks->push_back(std::make_shared<FolderMusicTrack>(rootDir.filePath(relative), persistentIDForPath(relative), databaseID, tags));
    }

    // Resolving a range reads the tags of its files: one request per batch.
    const auto libraryTracks = [tracks, tags] {
        return MusicElementList<MusicSourceTrack>(qsizetype(tracks->size()), [tracks, tags](qsizetype start, qsizetype length) {
            Tracks batch(tracks->begin() + start, tracks->begin() + start + length);
            for (const auto &track : batch)
                track->get();
            if (tags && start + length == qsizetype(tracks->size()))
                tags->save();
            return batch;
        });
    };
    MusicSource::Playlists library = {
        std::make_shared<MusicSourcePlaylist>(QFileInfo(rootPath).fileName(), QString(), libraryTracks)};

    MusicSource::Playlists user;
    QStringList playlistWarnings;
    for (const QString &relative : std::as_const(found.playlists)) {
        const QString playlistPath = rootDir.filePath(relative);
        if (application) {
            // Said once, when the folder is read; the entries themselves are
            // read again whenever the playlist is.
            QStringList unknown;
            for (const QString &path : M3uPlaylistReader::readFile(playlistPath)) {
                if (!indexByPath->find(path))
                    unknown.append(path);
            }
            if (unknown.size() == 1)
                playlistWarnings.append(QStringLiteral("Playlist %1 names a file that is not an audio file of the music "
                                                       "folder (%2), left out").arg(relative, unknown.first()));
            else if (!unknown.isEmpty())
                playlistWarnings.append(QStringLiteral("Playlist %1 names %2 files that are not audio files of the music "
                                                       "folder (the first: %3), left out")
                                            .arg(relative)
                                            .arg(unknown.size())
                                            .arg(unknown.first()));
        }
        const auto members = [tracks, indexByPath, playlistPath] {
            Tracks list;
            for (const QString &path : M3uPlaylistReader::readFile(playlistPath)) {
                if (const std::optional<qsizetype> hit = indexByPath->find(path))
                    list.push_back((*tracks)[size_t(*hit)]);
            }
            return MusicElementList<MusicSourceTrack>::of(std::move(list));
        };
        user.push_back(std::make_shared<MusicSourcePlaylist>(QFileInfo(relative).completeBaseName(), persistentIDForPath(relative), members));
    }
    if (application)
        application->addWarnings(playlistWarnings);
    return std::make_shared<MusicSource>(QFileInfo(rootPath).fileName(), MusicSource::KindLibrary, std::move(library), std::move(user));
}

bool FolderMusicSource::open(const QString &root, MusicApplication &application)
{
    // Opened once here so that a folder that cannot be listed at all is the
    // source failing, not a library of nothing.
    DIR *directory = ::opendir(QFile::encodeName(root).constData());
    const bool listable = directory != nullptr;
    if (listable)
        ::closedir(directory);
    if (!listable) {
        application.setOpenError(ErrorRecord::withDescription(QStringLiteral("MusicFolderErrorDomain"), 1,
                                                              QStringLiteral("The music folder %1 cannot be read").arg(root)));
        return false;
    }
    application.addSource(scan(root, &application, std::make_shared<TagCache>(TagCache::fileFor(root))));
    return true;
}

#include "itunes/FolderMusicSource.h"

#include "itunes/FolderMusicTrack.h"
#include "itunes/M3uPlaylistReader.h"
#include "itunes/TagLibAudioFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

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
    QStringList tracks;    // relative paths, sorted
    QStringList playlists; // relative paths, sorted
};

Scan scanFolder(const QString &root)
{
    Scan scan;
    const QDir rootDir(root);
    QDirIterator it(root, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = it.fileName();
        if (FolderMusicSource::isMediaFile(name))
            scan.tracks.append(rootDir.relativeFilePath(path));
        else if (FolderMusicSource::isPlaylistFile(name))
            scan.playlists.append(rootDir.relativeFilePath(path));
    }
    std::sort(scan.tracks.begin(), scan.tracks.end());
    std::sort(scan.playlists.begin(), scan.playlists.end());
    return scan;
}

// A playlist written where names were spelled decomposed (see
// FileNameForms) still names the files here.
QString playlistKey(const QString &path)
{
    return path.normalized(QString::NormalizationForm_C);
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

std::shared_ptr<MusicSource> FolderMusicSource::scan(const QString &root)
{
    const QString rootPath = QDir(root).absolutePath();
    const QDir rootDir(rootPath);
    Scan found = scanFolder(rootPath);

    using Tracks = std::vector<std::shared_ptr<MusicSourceTrack>>;
    auto tracks = std::make_shared<Tracks>();
    tracks->reserve(size_t(found.tracks.size()));
    auto indexByPath = std::make_shared<QHash<QString, qsizetype>>();
    for (const QString &relative : std::as_const(found.tracks)) {
        indexByPath->insert(playlistKey(rootDir.filePath(relative)), qsizetype(tracks->size()));
        const int databaseID = int(tracks->size()) + 1;
        tracks->push_back(std::make_shared<FolderMusicTrack>(rootDir.filePath(relative), persistentIDForPath(relative), databaseID));
    }

    // Resolving a range reads the tags of its files: one request per batch.
    const auto libraryTracks = [tracks] {
        return MusicElementList<MusicSourceTrack>(qsizetype(tracks->size()), [tracks](qsizetype start, qsizetype length) {
            Tracks batch(tracks->begin() + start, tracks->begin() + start + length);
            for (const auto &track : batch)
                track->get();
            return batch;
        });
    };
    MusicSource::Playlists library = {
        std::make_shared<MusicSourcePlaylist>(QFileInfo(rootPath).fileName(), QString(), libraryTracks)};

    MusicSource::Playlists user;
    for (const QString &relative : std::as_const(found.playlists)) {
        const QString playlistPath = rootDir.filePath(relative);
        const auto members = [tracks, indexByPath, playlistPath] {
            Tracks list;
            for (const QString &path : M3uPlaylistReader::readFile(playlistPath)) {
                if (const auto hit = indexByPath->constFind(playlistKey(path)); hit != indexByPath->cend())
                    list.push_back((*tracks)[size_t(hit.value())]);
            }
            return MusicElementList<MusicSourceTrack>::of(std::move(list));
        };
        user.push_back(std::make_shared<MusicSourcePlaylist>(QFileInfo(relative).completeBaseName(), persistentIDForPath(relative), members));
    }
    return std::make_shared<MusicSource>(QFileInfo(rootPath).fileName(), MusicSource::KindLibrary, std::move(library), std::move(user));
}

bool FolderMusicSource::open(const QString &root, MusicApplication &application)
{
    const QFileInfo info(root);
    if (!info.isDir() || !info.isReadable()) {
        application.setOpenError(ErrorRecord::withDescription(QStringLiteral("MusicFolderErrorDomain"), 1,
                                                              QStringLiteral("The music folder %1 cannot be read").arg(root)));
        return false;
    }
    application.addSource(scan(root));
    return true;
}

#include "tests/library/LibraryTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

namespace librarytest {

void NotifyRecorder::onSyncNotifictionEvent(const Notify &notify)
{
    received.append(notify);
    threads.append(QThread::currentThread());
}

static QString line(const Notify &notify)
{
    return QStringLiteral("%1|%2|%3|%4/%5")
        .arg(notify.activity())
        .arg(notify.title().isNull() ? QStringLiteral("-") : notify.title())
        .arg(notify.messages() ? notify.messages()->join(u';') : QStringLiteral("-"))
        .arg(notify.progress())
        .arg(notify.maxProgress());
}

std::string describe(const Notify &notify)
{
    return line(notify).toStdString();
}

QStringList NotifyRecorder::lines() const
{
    QStringList result;
    for (const Notify &notify : received)
        result.append(line(notify));
    return result;
}

QStringList NotifyRecorder::linesOfActivity(int activity) const
{
    QStringList result;
    for (const Notify &notify : received) {
        if (notify.activity() == activity)
            result.append(line(notify));
    }
    return result;
}

FakePlaylist::FakePlaylist(const QString &id, const QString &name, QStringList members, bool selected)
    : members(std::move(members))
{
    setPersistentId(id);
    setName(name);
    setIsSelected(selected);
}

void FakePlaylist::getPlaylistTrackIDs()
{
    ++loads;
    setTracks(members);
}

QString FakePlaylist::archiveClassName() const
{
    return QStringLiteral("iTunesMusicPlaylist");
}

QStringList FakePlaylist::archiveClassHierarchy() const
{
    return {QStringLiteral("iTunesMusicPlaylist"), QStringLiteral("Playlist"), QStringLiteral("NSObject")};
}

FakeAlbumCover::FakeAlbumCover(const QString &fileStem, bool succeeds, bool withException)
    : fileStem(fileStem), succeeds(succeeds), withException(withException)
{
    setStatus(1);
    setAvailable(true);
}

bool FakeAlbumCover::copyArtwork(const QString &folder)
{
    exportedTo.append(folder);
    folderExisted.append(QFileInfo(folder).isDir());
    if (!succeeds) {
        if (withException)
            setExc(ExceptionRecord(QStringLiteral("No Image data"),
                                   QStringLiteral("no image data for artwork: \"%1\"").arg(fileStem),
                                   {{QStringLiteral("Track"), fileStem}}));
        return false;
    }
    const QString path = folder + u'/' + artworkFileName();
    writeBytes(path, QByteArrayLiteral("\xFF\xD8jpeg"));
    setPath(path);
    return true;
}

QString FakeAlbumCover::artworkFileName()
{
    return fileStem + QStringLiteral(".jpg");
}

std::shared_ptr<Track> makeTrack(const QString &id, const QString &location)
{
    auto track = std::make_shared<Track>();
    track->setPersistentId(id);
    track->setLocation(location);
    track->setStatus(1);
    return track;
}

ShareFixture::ShareFixture()
{
    EXPECT_TRUE(m_share.isValid());
    EXPECT_TRUE(m_local.isValid());
}

void ShareFixture::configure(MusicLibrary &library, bool wholeLibrary) const
{
    library.sharePaths() = SharePaths{.xmlTracksPath = tracksFile(),
                                      .xmlAlbumCoverPath = artworkFile(),
                                      .cpyBasePath = musicFolder(),
                                      .albumCoverBasePath = artworkFolder(),
                                      .serverSharePath = QStringLiteral("\\\\10.0.0.5\\OrvanaMusic")};
    library.setSyncCompleteMusicLibrary(wholeLibrary);
    library.setSyncVersion(QStringLiteral("1.2.3"));
}

QString ShareFixture::sourceFile(const QString &relativePath, qsizetype size) const
{
    const QString path = m_local.path() + u'/' + relativePath;
    QByteArray bytes(size, 'a');
    for (qsizetype index = 0; index < size; ++index)
        bytes[index] = char('a' + index % 26);
    writeBytes(path, bytes);
    return path;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

qint64 bytesReadByProcess()
{
    for (const QByteArray &line : readBytes(QStringLiteral("/proc/self/io")).split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

bool exists(const QString &path)
{
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

QStringList listTree(const QString &folder)
{
    QStringList entries;
    QDirIterator iterator(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                          QDirIterator::Subdirectories);
    while (iterator.hasNext())
        entries.append(QDir(folder).relativeFilePath(iterator.next()));
    entries.sort();
    return entries;
}

void withoutFreeDescriptors(const std::function<void()> &body)
{
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const int lowestFree = ::dup(0);
    if (lowestFree >= 0)
        ::close(lowestFree);
    const rlimit none{rlim_t(lowestFree < 0 ? 0 : lowestFree), saved.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &none);
    body();
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

} // namespace librarytest

#include "itunes/FolderMusicSource.h"
#include "itunes/TagCache.h"

#include "tests/itunes/AudioFixtures.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

class TagCacheTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        AudioFixtures::copy(QStringLiteral("song.mp3"), song);
        AudioFixtures::copy(QStringLiteral("song.flac"), other);
        // The file system keeps change times in ticks: let the copies' pass.
        QThread::msleep(50);
    }
    // A new title of the same length, in both tags: the file keeps its size.
    void retitle(const QString &path, const QString &from, const QString &to)
    {
        QByteArray bytes = testsupport::readFile(path);
        ASSERT_TRUE(bytes.contains(from.toLatin1()));
        const auto utf16 = [](const QString &text) {
            return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        };
        bytes.replace(from.toLatin1(), to.toLatin1());
        bytes.replace(utf16(from), utf16(to));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.write(bytes);
    }

    QTemporaryDir folder;
    const QString cacheFile = folder.filePath(QStringLiteral("cache/tags.cache"));
    const QString song = folder.filePath(QStringLiteral("music/A/B/01 song.mp3"));
    const QString other = folder.filePath(QStringLiteral("music/A/B/02 other.flac"));
};

TEST_F(TagCacheTest, AnUnchangedFileIsNotReadAgainAndAChangedOneIs)
{
    MusicTrackProperties first;
    {
        TagCache tags(cacheFile, milliseconds(0));
        first = tags.read(song);
        tags.read(other);
        EXPECT_EQ(tags.filesRead(), 2);
        tags.save();
    }
    EXPECT_EQ(first.name, QStringLiteral("Mp3 Song"));
    {
        TagCache tags(cacheFile, milliseconds(0));
        const MusicTrackProperties again = tags.read(song);
        EXPECT_EQ(tags.filesRead(), 0);
        EXPECT_EQ(again.name, first.name);
        EXPECT_EQ(again.artist, first.artist);
        EXPECT_EQ(again.size, first.size);
        EXPECT_DOUBLE_EQ(again.duration, first.duration);
        EXPECT_EQ(again.sampleRate, first.sampleRate);
        EXPECT_EQ(again.location, song);
        tags.save(); // the other file was not asked for: it leaves the cache
    }
    // Edited in place, size and modification time kept: the change time tells.
    struct stat before;
    ASSERT_EQ(::stat(QFile::encodeName(song).constData(), &before), 0);
    retitle(song, QStringLiteral("Mp3 Song"), QStringLiteral("Mp9 Sing"));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(song).constData(), times, 0), 0);
    QThread::msleep(50);
    TagCache tags(cacheFile, milliseconds(0));
    EXPECT_EQ(tags.read(song).name, QStringLiteral("Mp9 Sing"));
    EXPECT_EQ(tags.read(other).name, QStringLiteral("Flac Song"));
    EXPECT_EQ(tags.filesRead(), 2);
}

// Saved once the library is read, the cache lets go of its entries: a later
// read reads the file, and a later save cannot write a cache of less.
TEST_F(TagCacheTest, AfterItsSaveTheCacheReadsFilesAndKeepsWhatItSaved)
{
    {
        TagCache tags(cacheFile, milliseconds(0));
        tags.read(song);
        tags.read(other);
        tags.save();
        EXPECT_EQ(tags.read(song).name, QStringLiteral("Mp3 Song"));
        EXPECT_EQ(tags.filesRead(), 3);
        tags.save();
    }
    TagCache tags(cacheFile, milliseconds(0));
    tags.read(song);
    tags.read(other);
    EXPECT_EQ(tags.filesRead(), 0);
}

// A tag editor can save twice within one tick of the file system's clock,
// the second time unseen: a file changed lately is read again next time.
TEST_F(TagCacheTest, AFileChangedLatelyIsReadAgainNextTime)
{
    {
        TagCache tags(cacheFile, std::chrono::hours(1));
        tags.read(song);
        tags.save();
    }
    TagCache tags(cacheFile, std::chrono::hours(1));
    tags.read(song);
    EXPECT_EQ(tags.filesRead(), 1);
}

TEST_F(TagCacheTest, ADamagedOrForeignCacheFileCountsAsEmpty)
{
    {
        TagCache tags(cacheFile, milliseconds(0));
        tags.read(song);
        tags.save();
    }
    const QByteArray good = testsupport::readFile(cacheFile);
    ASSERT_GT(good.size(), 40);
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x20);
    QByteArray otherVersion = good;
    otherVersion[7] = char(otherVersion[7] + 1);
    for (const QByteArray &bytes : {flipped, good.left(good.size() - 1), good.left(10), otherVersion, QByteArray("junk")}) {
        testsupport::writeFile(cacheFile, bytes);
        TagCache tags(cacheFile, milliseconds(0));
        EXPECT_EQ(tags.read(song).name, QStringLiteral("Mp3 Song"));
        EXPECT_EQ(tags.filesRead(), 1);
    }
    EXPECT_EQ(QFile::permissions(cacheFile) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
}

// The folder source saves the cache once its library has been read, and
// takes the tags from it the next time.
TEST_F(TagCacheTest, TheFolderSourceReadsAnUnchangedFolderFromTheCache)
{
    const QString music = folder.filePath(QStringLiteral("music"));
    const auto readAll = [&](const std::shared_ptr<TagCache> &tags) {
        const auto source = FolderMusicSource::scan(music, nullptr, tags);
        QStringList names;
        for (const auto &track : source->libraryPlaylists().get().front()->tracks().get())
            names.append(track->properties().name);
        return names;
    };
    const auto first = std::make_shared<TagCache>(cacheFile, milliseconds(0));
    const QStringList names = readAll(first);
    EXPECT_EQ(names, (QStringList{QStringLiteral("Mp3 Song"), QStringLiteral("Flac Song")}));
    EXPECT_TRUE(QFile::exists(cacheFile));
    const auto second = std::make_shared<TagCache>(cacheFile, milliseconds(0));
    EXPECT_EQ(readAll(second), names);
    EXPECT_EQ(second->filesRead(), 0);
    // Kept apart by the folder's path.
    EXPECT_NE(TagCache::fileFor(music), TagCache::fileFor(folder.path()));
    EXPECT_EQ(TagCache::fileFor(music), TagCache::fileFor(music + QStringLiteral("/A/..")));
}

} // namespace

#include "platform/FileNameSpelling.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString composed = QStringLiteral("Bj\u00F6rk");
const QString decomposed = QStringLiteral("Bjo\u0308rk");

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

QString spelling(const QString &path)
{
    return FileNameSpelling::onDiskSpellingOfMissing(path);
}

TEST(FileNameSpellingTest, AMissingNameFindsTheFileAsASystemIgnoringCaseAndFormWould)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(composed + QStringLiteral("/Post")));
    ASSERT_TRUE(touch(dir.filePath(composed + QStringLiteral("/Post/Caf\u00E9.mp3"))));
    ASSERT_TRUE(touch(dir.filePath(QStringLiteral("Sigur Ro\u0301s.mp3"))));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("the beatles/Abbey Road")));
    ASSERT_TRUE(touch(dir.filePath(QStringLiteral("the beatles/Abbey Road/01 come together.MP3"))));

    const QString composedFile = dir.filePath(composed + QStringLiteral("/Post/Caf\u00E9.mp3"));
    // Decomposed as exported, composed here; mixed; composed as exported, decomposed here.
    EXPECT_EQ(spelling(dir.filePath(decomposed + QStringLiteral("/Post/Cafe\u0301.mp3"))), composedFile);
    EXPECT_EQ(spelling(dir.filePath(composed + QStringLiteral("/Post/Cafe\u0301.mp3"))), composedFile);
    EXPECT_EQ(spelling(dir.filePath(QStringLiteral("Sigur R\u00F3s.mp3"))), dir.filePath(QStringLiteral("Sigur Ro\u0301s.mp3")));
    // Letter case, in folders and file name alike, and with the form too.
    EXPECT_EQ(spelling(dir.filePath(QStringLiteral("The Beatles/Abbey Road/01 Come Together.mp3"))),
              dir.filePath(QStringLiteral("the beatles/Abbey Road/01 come together.MP3")));
    EXPECT_EQ(spelling(dir.filePath(QStringLiteral("BJO\u0308RK/post/CAF\u00C9.mp3"))), composedFile);
}

TEST(FileNameSpellingTest, ANameThatExistsIsMissingEverywhereOrIsAmbiguousStaysItsOwn)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Both spellings exist as two files: the one named is the one meant.
    ASSERT_TRUE(touch(dir.filePath(composed)));
    ASSERT_TRUE(touch(dir.filePath(decomposed)));
    EXPECT_TRUE(spelling(dir.filePath(composed)).isNull());
    EXPECT_TRUE(spelling(dir.filePath(decomposed)).isNull());
    // Two files here match a missing name: which one was meant is a guess.
    ASSERT_TRUE(touch(dir.filePath(QStringLiteral("song.mp3"))));
    ASSERT_TRUE(touch(dir.filePath(QStringLiteral("Song.mp3"))));
    EXPECT_TRUE(spelling(dir.filePath(QStringLiteral("SONG.mp3"))).isNull());
    EXPECT_TRUE(spelling(dir.filePath(QStringLiteral("BJ\u00D6RK"))).isNull());

    EXPECT_TRUE(spelling(dir.filePath(QStringLiteral("missing/song.mp3"))).isNull());
    EXPECT_TRUE(spelling(QStringLiteral("relative/song.mp3")).isNull());
    EXPECT_TRUE(spelling(QString()).isNull());
}

} // namespace

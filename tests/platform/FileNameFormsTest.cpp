#include "platform/FileNameForms.h"

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

TEST(FileNameFormsTest, AMissingNameFindsTheFileSpelledTheOtherWayInEitherDirection)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(composed));
    ASSERT_TRUE(touch(dir.filePath(composed + QStringLiteral("/Caf\u00E9.mp3"))));
    ASSERT_TRUE(touch(dir.filePath(QStringLiteral("Sigur Ro\u0301s.mp3"))));

    // Decomposed as listed, composed on disk; a name in mixed forms too.
    EXPECT_EQ(FileNameForms::otherFormOfMissing(dir.filePath(decomposed + QStringLiteral("/Cafe\u0301.mp3"))),
              dir.filePath(composed + QStringLiteral("/Caf\u00E9.mp3")));
    EXPECT_EQ(FileNameForms::otherFormOfMissing(dir.filePath(composed + QStringLiteral("/Cafe\u0301.mp3"))),
              dir.filePath(composed + QStringLiteral("/Caf\u00E9.mp3")));
    // Composed as listed, decomposed on disk.
    EXPECT_EQ(FileNameForms::otherFormOfMissing(dir.filePath(QStringLiteral("Sigur R\u00F3s.mp3"))),
              dir.filePath(QStringLiteral("Sigur Ro\u0301s.mp3")));
}

TEST(FileNameFormsTest, ANameThatExistsHasOneFormOrFindsNothingStaysItsOwn)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Both spellings exist as two files: the one named is the one meant.
    ASSERT_TRUE(touch(dir.filePath(composed)));
    ASSERT_TRUE(touch(dir.filePath(decomposed)));
    EXPECT_TRUE(FileNameForms::otherFormOfMissing(dir.filePath(composed)).isNull());
    EXPECT_TRUE(FileNameForms::otherFormOfMissing(dir.filePath(decomposed)).isNull());

    EXPECT_TRUE(FileNameForms::otherFormOfMissing(dir.filePath(QStringLiteral("plain ascii.mp3"))).isNull());
    EXPECT_TRUE(FileNameForms::otherFormOfMissing(dir.filePath(QStringLiteral("Caf\u00E9 missing.mp3"))).isNull());
    EXPECT_TRUE(FileNameForms::otherFormOfMissing(QString()).isNull());
}

} // namespace

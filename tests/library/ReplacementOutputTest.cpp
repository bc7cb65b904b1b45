#include "tests/library/LibraryTestSupport.h"

#include "library/ReplacementOutput.h"
#include "share/FileIO.h"

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

struct Outcome {
    bool repeatsPrevious = false;
    int readErrno = 0;
    QByteArray written;
};

// Writes pieces as the replacement of previousPath into a fresh output file.
Outcome replace(const QString &previousPath, const QList<QByteArray> &pieces, const QString &outputPath)
{
    FileIO file;
    EXPECT_EQ(file.fileOpen(outputPath), 0);
    Outcome outcome;
    {
        ReplacementOutput output(file, previousPath);
        for (const QByteArray &piece : pieces)
            output.write(piece);
        outcome.repeatsPrevious = output.repeatsPrevious();
        outcome.readErrno = output.readErrno();
    }
    EXPECT_EQ(file.fileClose(), 0);
    outcome.written = readBytes(outputPath);
    return outcome;
}

class ReplacementOutputTest : public ::testing::Test {
protected:
    QString path(const char *name) const { return folder.filePath(QString::fromLatin1(name)); }
    QTemporaryDir folder;
};

} // namespace

TEST_F(ReplacementOutputTest, IdenticalBytesWriteNothing)
{
    writeBytes(path("previous"), "<a>\r\n<b/>\r\n</a>\r\n");
    const Outcome outcome = replace(path("previous"), {"<a>\r\n", "<b/>", "\r\n</a>\r\n"}, path("new"));
    EXPECT_TRUE(outcome.repeatsPrevious);
    EXPECT_EQ(outcome.written, QByteArray());
    EXPECT_EQ(readBytes(path("previous")), "<a>\r\n<b/>\r\n</a>\r\n");
}

TEST_F(ReplacementOutputTest, AnyDifferenceWritesTheWholeNewFile)
{
    struct Case {
        const char *what;
        QByteArray previous;
        QList<QByteArray> pieces;
    };
    const QByteArray large(600 * 1024, 'x');
    const QList<Case> cases{
        {"differs inside a piece", "abcdefgh", {"ab", "cdXf", "gh"}},
        {"differs at the first byte", "abc", {"Xbc"}},
        {"the new file is shorter", "abcdef", {"abc", "de"}},
        {"the new file is longer", "abc", {"abc", "def"}},
        {"the previous file is empty", "", {"abc"}},
        {"the new file is empty", "abc", {}},
        {"differs past several buffers", large + "old", {large.left(100), large.mid(100), "new"}},
        {"previous longer by a buffer", large + large, {large}},
    };
    for (const Case &test : cases) {
        writeBytes(path("previous"), test.previous);
        const Outcome outcome = replace(path("previous"), test.pieces, path("new"));
        EXPECT_FALSE(outcome.repeatsPrevious) << test.what;
        EXPECT_EQ(outcome.readErrno, 0) << test.what;
        EXPECT_EQ(outcome.written, test.pieces.join()) << test.what;
        EXPECT_EQ(readBytes(path("previous")), test.previous) << test.what;
    }
}

TEST_F(ReplacementOutputTest, WithoutARegularPreviousFileEverythingIsWritten)
{
    // Missing, a folder, and a link to an identical file: the final name
    // gets a file of its own, as a full write gives it.
    writeBytes(path("target"), "same");
    ASSERT_TRUE(QFile::link(path("target"), path("link")));
    ASSERT_EQ(::mkdir(path("folder").toUtf8().constData(), 0700), 0);
    for (const char *previous : {"missing", "folder", "link"}) {
        const Outcome outcome = replace(path(previous), {"sa", "me"}, path("new"));
        EXPECT_FALSE(outcome.repeatsPrevious) << previous;
        EXPECT_EQ(outcome.written, "same") << previous;
    }
}

TEST_F(ReplacementOutputTest, TextLosesItsNullCharactersAsTheFileWriterDoes)
{
    writeBytes(path("previous"), "ab\xc3\xa9");
    FileIO file;
    ASSERT_EQ(file.fileOpen(path("new")), 0);
    ReplacementOutput output(file, path("previous"));
    output.writeString(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b\u00e9"));
    EXPECT_TRUE(output.repeatsPrevious());
}

TEST_F(ReplacementOutputTest, AFileHoldsExactlyTheBytesOrNot)
{
    const QByteArray large = QByteArray(300 * 1024, 'y') + "end";
    writeBytes(path("small"), "abc");
    writeBytes(path("large"), large);
    writeBytes(path("empty"), "");
    ASSERT_TRUE(QFile::link(path("small"), path("link")));
    EXPECT_TRUE(ReplacementOutput::fileHolds(path("small"), "abc"));
    EXPECT_TRUE(ReplacementOutput::fileHolds(path("large"), large));
    EXPECT_TRUE(ReplacementOutput::fileHolds(path("empty"), ""));
    EXPECT_FALSE(ReplacementOutput::fileHolds(path("small"), "ab"));
    EXPECT_FALSE(ReplacementOutput::fileHolds(path("small"), "abcd"));
    EXPECT_FALSE(ReplacementOutput::fileHolds(path("small"), "abd"));
    EXPECT_FALSE(ReplacementOutput::fileHolds(path("large"), large.left(large.size() - 1)));
    EXPECT_FALSE(ReplacementOutput::fileHolds(path("missing"), ""));
    EXPECT_FALSE(ReplacementOutput::fileHolds(path("link"), "abc"));
}

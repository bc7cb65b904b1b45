#include "tests/library/LibraryTestSupport.h"

#include "library/FileFingerprint.h"
#include "library/ReplacementOutput.h"
#include "share/FileIO.h"

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

struct Outcome {
    bool repeatsPrevious = false;
    int readErrno = 0;
    QByteArray written;
};

// Writes pieces as the replacement of previousPath into a fresh output file,
// knowing the previous file by previousRead when given; *previousBytesRead
// receives what the process read meanwhile.
Outcome replace(const QString &previousPath, const QList<QByteArray> &pieces, const QString &outputPath,
                const FileFingerprint *previousRead = nullptr, qint64 *previousBytesRead = nullptr)
{
    FileIO file;
    EXPECT_EQ(file.fileOpen(outputPath), 0);
    Outcome outcome;
    const qint64 readBefore = bytesReadByProcess();
    {
        ReplacementOutput output(file, previousPath, previousRead);
        for (const QByteArray &piece : pieces)
            output.write(piece);
        outcome.repeatsPrevious = output.repeatsPrevious();
        outcome.readErrno = output.readErrno();
    }
    if (previousBytesRead)
        *previousBytesRead = bytesReadByProcess() - readBefore;
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

namespace {

// The fingerprint of one read of path, taken in pieces of the given size.
FileFingerprint fingerprintOf(const QString &path, qsizetype pieceSize = 100 * 1000)
{
    const QByteArray bytes = readBytes(path);
    struct stat info {};
    EXPECT_EQ(::stat(path.toUtf8().constData(), &info), 0);
    FileFingerprint fingerprint;
    fingerprint.opened(info);
    for (qsizetype offset = 0; offset < bytes.size(); offset += pieceSize)
        fingerprint.bytesRead(QByteArrayView(bytes).sliced(offset, std::min(pieceSize, bytes.size() - offset)));
    fingerprint.endReached();
    return fingerprint;
}

QByteArray patterned(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype index = 0; index < size; ++index)
        bytes[index] = char('a' + (index * 7 + index / 4099) % 26);
    return bytes;
}

} // namespace

TEST_F(ReplacementOutputTest, AFileReadBeforeIsToldUnchangedWithoutReadingItAgain)
{
    const qsizetype chunk = FileFingerprint::ChunkSize;
    for (const qsizetype size : {qsizetype(0), qsizetype(5), chunk, 2 * chunk, 3 * chunk + 17}) {
        const QByteArray bytes = patterned(size);
        writeBytes(path("previous"), bytes);
        const FileFingerprint fingerprint = fingerprintOf(path("previous"));
        ASSERT_TRUE(fingerprint.isComplete()) << size;
        QList<QByteArray> pieces;
        for (qsizetype offset = 0; offset < size; offset += 777)
            pieces.append(bytes.mid(offset, 777));
        qint64 readAgain = -1;
        const Outcome outcome = replace(path("previous"), pieces, path("new"), &fingerprint, &readAgain);
        EXPECT_TRUE(outcome.repeatsPrevious) << size;
        EXPECT_EQ(outcome.written, QByteArray()) << size;
        EXPECT_LT(readAgain, 1000) << size;
    }
}

TEST_F(ReplacementOutputTest, AnyDifferenceFromTheFileReadBeforeWritesTheWholeNewFile)
{
    const qsizetype chunk = FileFingerprint::ChunkSize;
    const QByteArray old = patterned(3 * chunk + 100);
    const auto changedAt = [&](qsizetype offset) {
        QByteArray bytes = old;
        bytes[offset] = '#';
        return bytes;
    };
    struct Case {
        const char *what;
        QByteArray bytes;
    };
    const QList<Case> cases{
        {"differs in the first chunk", changedAt(10)},
        {"differs in a middle chunk", changedAt(chunk + 5)},
        {"differs at a chunk's last byte", changedAt(2 * chunk - 1)},
        {"differs in the last, short chunk", changedAt(3 * chunk + 99)},
        {"ends a byte early", old.left(old.size() - 1)},
        {"ends at a chunk boundary", old.left(3 * chunk)},
        {"goes on past the end", old + "more"},
        {"goes on by a whole chunk", old + patterned(chunk)},
        {"is empty", QByteArray()},
    };
    for (const Case &test : cases) {
        writeBytes(path("previous"), old);
        const FileFingerprint fingerprint = fingerprintOf(path("previous"), chunk);
        QList<QByteArray> pieces;
        for (qsizetype offset = 0; offset < test.bytes.size(); offset += 100000)
            pieces.append(test.bytes.mid(offset, 100000));
        const Outcome outcome = replace(path("previous"), pieces, path("new"), &fingerprint);
        EXPECT_FALSE(outcome.repeatsPrevious) << test.what;
        EXPECT_EQ(outcome.readErrno, 0) << test.what;
        EXPECT_TRUE(outcome.written == test.bytes) << test.what;
        EXPECT_TRUE(readBytes(path("previous")) == old) << test.what;
    }
}

TEST_F(ReplacementOutputTest, AFileChangedSinceItWasReadIsComparedByItsBytes)
{
    const QByteArray old = patterned(FileFingerprint::ChunkSize + 10);
    writeBytes(path("previous"), old);
    const FileFingerprint fingerprint = fingerprintOf(path("previous"));
    // Another writer puts a file of the same size in its place: the new
    // bytes, equal to what was read, must still be written.
    QByteArray other = old;
    other[3] = '#';
    writeBytes(path("other"), other);
    ASSERT_EQ(::rename(path("other").toUtf8().constData(), path("previous").toUtf8().constData()), 0);
    const Outcome outcome = replace(path("previous"), {old}, path("new"), &fingerprint);
    EXPECT_FALSE(outcome.repeatsPrevious);
    EXPECT_EQ(outcome.readErrno, 0);
    EXPECT_TRUE(outcome.written == old);

    // A read that stopped short of the end proves nothing either.
    writeBytes(path("previous"), old);
    struct stat info {};
    ASSERT_EQ(::stat(path("previous").toUtf8().constData(), &info), 0);
    FileFingerprint partial;
    partial.opened(info);
    partial.bytesRead(QByteArrayView(old).first(100));
    EXPECT_FALSE(partial.isComplete());
    const Outcome unread = replace(path("previous"), {old}, path("new"), &partial);
    EXPECT_TRUE(unread.repeatsPrevious);
}

TEST_F(ReplacementOutputTest, AStartThatNoLongerMatchesItsFingerprintIsNotCopied)
{
    // The file's status says unchanged but its bytes are not what the
    // fingerprint holds: the copied start would mix two files, so the new
    // file is refused instead.
    const qsizetype chunk = FileFingerprint::ChunkSize;
    const QByteArray onShare = patterned(2 * chunk + 10);
    writeBytes(path("previous"), onShare);
    QByteArray seen = onShare;
    seen[5] = '#';
    struct stat info {};
    ASSERT_EQ(::stat(path("previous").toUtf8().constData(), &info), 0);
    FileFingerprint fingerprint;
    fingerprint.opened(info);
    fingerprint.bytesRead(seen);
    fingerprint.endReached();
    ASSERT_TRUE(fingerprint.isComplete());
    QByteArray changed = seen;
    changed[chunk + 1] = '!';
    const Outcome outcome = replace(path("previous"), {changed}, path("new"), &fingerprint);
    EXPECT_FALSE(outcome.repeatsPrevious);
    EXPECT_EQ(outcome.readErrno, ESTALE);
    EXPECT_TRUE(readBytes(path("previous")) == onShare);
}

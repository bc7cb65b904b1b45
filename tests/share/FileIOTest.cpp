#include "share/FileIO.h"

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(FileIO, WritesUtf8WithoutNulCharactersAndAddsNothing)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("out.xml"));
    FileIO file;
    ASSERT_EQ(file.fileOpen(path), 0);
    EXPECT_EQ(file.fileWriteString(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("\u00e9\r\n")), 5);
    EXPECT_EQ(file.fileWriteString(QString(3, QChar(u'\0'))), 0);
    EXPECT_EQ(file.fileWriteString(QStringLiteral("\t\U0001F3B5")), 5);
    EXPECT_EQ(file.fileClose(), 0);
    EXPECT_EQ(contents(path), QByteArray("a\xC3\xA9\r\n\t\xF0\x9F\x8E\xB5"));
    EXPECT_FALSE(file.hadWriteError());
}

TEST(FileIO, OpeningAnExistingFileEmptiesIt)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("out.xml"));
    {
        QFile existing(path);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("previous contents");
    }
    FileIO file;
    ASSERT_EQ(file.fileOpen(path), 0);
    file.fileWriteString(QStringLiteral("new"));
    file.fileClose();
    EXPECT_EQ(contents(path), QByteArray("new"));
}

TEST(FileIO, OpenFailuresAnswerTheErrorNumber)
{
    QTemporaryDir folder;
    FileIO file;
    EXPECT_EQ(file.fileOpen(folder.filePath(QStringLiteral("missing/out.xml"))), ENOENT);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(file.fileOpen(folder.path()), EISDIR);
    // Writing without an open file fails rather than crashing.
    EXPECT_LT(file.fileWriteString(QStringLiteral("x")), 0);
}

TEST(FileIO, WriteFailuresAreRemembered)
{
    FileIO file;
    ASSERT_EQ(file.fileOpen(QStringLiteral("/dev/full")), 0);
    for (int index = 0; index < 100 && !file.hadWriteError(); ++index)
        file.fileWriteString(QString(8192, u'x'));
    file.fileClose();
    EXPECT_TRUE(file.hadWriteError());
    EXPECT_EQ(file.writeErrno(), ENOSPC);
}

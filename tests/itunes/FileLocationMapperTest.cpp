#include "itunes/FileLocationMapper.h"

#include <gtest/gtest.h>

namespace {

QString pathOf(const QString &location, const FileLocationMapper::PathMap &map = {})
{
    return FileLocationMapper(map).pathForLocation(location);
}

TEST(FileLocationMapper, UnderstandsTheFileUrlForms)
{
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost/Users/ann/Music/a.mp3")), QStringLiteral("/Users/ann/Music/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file:///home/ann/Music/a.mp3")), QStringLiteral("/home/ann/Music/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost/C:/Users/ann/Music/a.mp3")), QStringLiteral("C:/Users/ann/Music/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file:///D:/Music/a.mp3")), QStringLiteral("D:/Music/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file://server/share/a.mp3")), QStringLiteral("//server/share/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("/already/a/path.mp3")), QStringLiteral("/already/a/path.mp3"));
}

TEST(FileLocationMapper, PercentDecodesAsUtf8)
{
    EXPECT_EQ(pathOf(QStringLiteral("file:///Music/Bj%C3%B6rk/Post/01%20Army%20of%20Me.mp3")),
              QStringLiteral("/Music/Bj\u00f6rk/Post/01 Army of Me.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file:///Music/100%25/a.mp3")), QStringLiteral("/Music/100%/a.mp3"));
}

TEST(FileLocationMapper, RefusesWhatIsNoLocalFile)
{
    EXPECT_TRUE(pathOf(QString()).isNull());
    EXPECT_TRUE(pathOf(QStringLiteral("http://example.invalid/a.mp3")).isNull());
    EXPECT_TRUE(pathOf(QStringLiteral("file:///Music/a%00.mp3")).isNull());
    EXPECT_TRUE(pathOf(QStringLiteral("file://")).isNull());
}

TEST(FileLocationMapper, RemapsTheLongestMatchingPrefix)
{
    const FileLocationMapper::PathMap map = {
        {QStringLiteral("file://localhost/C:/Users/ann/"), QStringLiteral("/mnt/ann")},
        {QStringLiteral("file://localhost/C:/Users/ann/Music/"), QStringLiteral("/home/ann/Music/")},
    };
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost/C:/Users/ann/Music/A/B/c%20d.m4a"), map),
              QStringLiteral("/home/ann/Music/A/B/c d.m4a"));
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost/C:/Users/ann/Other/x.mp3"), map), QStringLiteral("/mnt/ann/Other/x.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost/C:/Users/bob/x.mp3"), map), QStringLiteral("C:/Users/bob/x.mp3"));
}

TEST(FileLocationMapper, RemapsAPlainPathPrefixAfterDecoding)
{
    const FileLocationMapper::PathMap map = {{QStringLiteral("/Users/ann/Music"), QStringLiteral("/home/ann/Music")}};
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost/Users/ann/Music/Some%20Artist/a.mp3"), map),
              QStringLiteral("/home/ann/Music/Some Artist/a.mp3"));
    const FileLocationMapper::PathMap encoded = {{QStringLiteral("file:///Volumes/My%20Disk/"), QStringLiteral("/srv/disk/")}};
    EXPECT_EQ(pathOf(QStringLiteral("file:///Volumes/My%20Disk/a.mp3"), encoded), QStringLiteral("/srv/disk/a.mp3"));
}

TEST(FileLocationMapper, APrefixEndsAtAFolder)
{
    const FileLocationMapper::PathMap map = {{QStringLiteral("/Users/ann/Music"), QStringLiteral("/home/ann/Music")},
                                             {QStringLiteral("file:///Volumes/Disk"), QStringLiteral("/srv/disk")}};
    EXPECT_EQ(pathOf(QStringLiteral("file:///Users/ann/Music/a.mp3"), map), QStringLiteral("/home/ann/Music/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file:///Users/ann/Music%20Videos/v.m4v"), map), QStringLiteral("/Users/ann/Music Videos/v.m4v"));
    EXPECT_EQ(pathOf(QStringLiteral("file:///Volumes/Disk/a.mp3"), map), QStringLiteral("/srv/disk/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file:///Volumes/Disk2/a.mp3"), map), QStringLiteral("/Volumes/Disk2/a.mp3"));
}

// As a Windows user copies it from the address bar: backslashes, any case.
TEST(FileLocationMapper, AWindowsPrefixMatchesWithEitherSlashAndInAnyCase)
{
    const FileLocationMapper::PathMap map = {{QStringLiteral("c:\\users\\ann\\music\\"), QStringLiteral("/home/ann/Music")},
                                             {QStringLiteral("\\\\NAS\\Music"), QStringLiteral("/srv/music")},
                                             {QStringLiteral("/users/bob"), QStringLiteral("/home/bob")}};
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost/C:/Users/Ann/Music/iTunes%20Media/a.mp3"), map),
              QStringLiteral("/home/ann/Music/iTunes Media/a.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file://localhost//nas/Music/x.mp3"), map), QStringLiteral("/srv/music/x.mp3"));
    EXPECT_EQ(pathOf(QStringLiteral("file://NAS/music/x.mp3"), map), QStringLiteral("/srv/music/x.mp3"));
    // A path of this system keeps its letter case.
    EXPECT_EQ(pathOf(QStringLiteral("file:///Users/bob/x.mp3"), map), QStringLiteral("/Users/bob/x.mp3"));
}

TEST(FileLocationMapper, DecodesMalformedPercentSequencesLikeQt)
{
    // Mapped locations are decoded without Qt's helpers; the result must not
    // differ from them for odd escapes, invalid UTF-8 or a byte order mark.
    const FileLocationMapper::PathMap map = {{QStringLiteral("file:///m/"), QStringLiteral("/x")}};
    const FileLocationMapper mapper(map);
    for (const QByteArray &rest : {QByteArray("a%zzb"), QByteArray("%4"), QByteArray("%"), QByteArray("%%41"), QByteArray("b%41%"),
                                  QByteArray("%C3%A9t%C3"), QByteArray("%EF%BB%BFbom"), QByteArray("b\\ack\\slash%5C"),
                                  QByteArray("a%2Fb"), QByteArray("\xff\xfe")}) {
        const QByteArray location = QByteArray("file:///m/") + rest;
        const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(location));
        const QString expected = QStringLiteral("/x/") + decoded.mid(10).replace(u'\\', u'/');
        EXPECT_EQ(mapper.pathForLocation(QByteArrayView(location)), expected) << rest.toStdString();
        EXPECT_EQ(mapper.pathForLocation(QString::fromUtf8(location)), expected) << rest.toStdString();
    }
}

} // namespace

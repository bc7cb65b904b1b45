#include "itunes/CoverJpegEncoder.h"
#include "itunes/FolderMusicSource.h"
#include "itunes/ResolvedMusicTrack.h"
#include "itunes/iTunesAlbumCover.h"

#include "tests/itunes/AudioFixtures.h"
#include "tests/itunes/ImageFixtures.h"
#include "tests/itunes/MusicLibraryFixture.h"
#include "tests/support/TestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <gtest/gtest.h>

namespace {

using Backend = MusicLibraryFixture::Backend;

QByteArray pngBytes(const QColor &color, const QString &text = QString())
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(color);
    if (!text.isNull())
        image.setText(QStringLiteral("Comment"), text);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A real PNG one pixel high and wider than a JPEG may be.
QByteArray tooWideForJpeg()
{
    QImage image(65501, 1, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::shared_ptr<iTunesAlbumCover> coverFor(const QString &audioPath, const QString &persistentID = QStringLiteral("C0FFEE0000000001"))
{
    MusicTrackProperties properties;
    properties.location = audioPath;
    properties.persistentID = persistentID;
    auto cover = std::make_shared<iTunesAlbumCover>();
    cover->setTrack(std::make_shared<ResolvedMusicTrack>(properties));
    return cover;
}

TEST(CoverJpegEncoder, RefusesImagesBeyondTheMemoryBudget)
{
    EXPECT_TRUE(CoverJpegEncoder::decode(ImageFixtures::hugePngHeader()).isNull());
    EXPECT_TRUE(CoverJpegEncoder::decode(ImageFixtures::hugeBmpHeader()).isNull());
    EXPECT_TRUE(CoverJpegEncoder::decode(QByteArray("\xff\xd8\xff garbage", 12)).isNull());
    EXPECT_TRUE(CoverJpegEncoder::decode(QByteArray()).isNull());
    EXPECT_FALSE(CoverJpegEncoder::decode(pngBytes(Qt::green)).isNull());
}

TEST(CoverJpegEncoder, FlattensTransparencyOverWhite)
{
    const QImage bitmap = CoverJpegEncoder::toBitmap(CoverJpegEncoder::decode(pngBytes(QColor(0, 0, 0, 0))));
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(bitmap.format(), QImage::Format_RGB32);
    EXPECT_EQ(bitmap.pixel(3, 3), qRgb(255, 255, 255));
    EXPECT_TRUE(bitmap.textKeys().isEmpty());
}

class CoverExport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString &relative) const { return dir.filePath(relative); }
    QTemporaryDir dir;
};

TEST_F(CoverExport, WritesTheSameJpegBytesEveryTimeWithoutTheSourceText)
{
    AudioFixtures::copy(QStringLiteral("song.ogg"), path(QStringLiteral("a/b/song.ogg")));
    testsupport::writeFile(path(QStringLiteral("a/b/cover.png")), pngBytes(Qt::blue, QStringLiteral("private note")));
    QDir().mkpath(path(QStringLiteral("out1")));
    QDir().mkpath(path(QStringLiteral("out2")));
    auto cover = coverFor(path(QStringLiteral("a/b/song.ogg")));
    ASSERT_TRUE(cover->copyArtwork(path(QStringLiteral("out1"))));
    EXPECT_EQ(cover->path(), path(QStringLiteral("out1/C0FFEE0000000001.jpg")));
    ASSERT_TRUE(cover->copyArtwork(path(QStringLiteral("out2"))));
    const QByteArray first = testsupport::readFile(path(QStringLiteral("out1/C0FFEE0000000001.jpg")));
    const QByteArray second = testsupport::readFile(path(QStringLiteral("out2/C0FFEE0000000001.jpg")));
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first, second);
    EXPECT_TRUE(first.startsWith("\xff\xd8"));
    EXPECT_FALSE(first.contains("private note"));
    // JFIF header: dots per inch, 72 x 72.
    const qsizetype jfif = first.indexOf(QByteArray("JFIF\0", 5));
    ASSERT_GE(jfif, 0);
    EXPECT_EQ(quint8(first.at(jfif + 7)), 1);
    EXPECT_EQ(qFromBigEndian<quint16>(first.constData() + jfif + 8), 72);
    EXPECT_EQ(qFromBigEndian<quint16>(first.constData() + jfif + 10), 72);
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(path(QStringLiteral("out1"))).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("C0FFEE0000000001.jpg")});
    EXPECT_FALSE(cover->exc().has_value());
    const QImage exported = QImage::fromData(first, "JPEG");
    ASSERT_EQ(exported.size(), QSize(8, 8));
    EXPECT_LT(qRed(exported.pixel(4, 4)), 40);
    EXPECT_GT(qBlue(exported.pixel(4, 4)), 200);
}

TEST_F(CoverExport, ExportsTheSecondArtworkWhenTheFirstDoesNotDecode)
{
    AudioFixtures::copy(QStringLiteral("song.ogg"), path(QStringLiteral("a/b/song.ogg")));
    testsupport::writeFile(path(QStringLiteral("a/b/Cover.jpg")), "not an image at all");
    testsupport::writeFile(path(QStringLiteral("a/b/folder.png")), pngBytes(Qt::red));
    auto cover = coverFor(path(QStringLiteral("a/b/song.ogg")));
    EXPECT_TRUE(cover->copyArtwork(dir.path()));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("C0FFEE0000000001.jpg"))));
    ASSERT_TRUE(cover->exc().has_value());
    EXPECT_EQ(cover->exc()->name(), QStringLiteral("No Image data"));
    EXPECT_EQ(cover->exc()->reason(), QStringLiteral("no image data for artwork: \"C0FFEE0000000001\""));
    EXPECT_TRUE(cover->exc()->details().isEmpty());
}

// Prepared ahead of its turn, a cover touches nothing on the share and
// records nothing until it is stored; storing it writes what an unprepared
// export writes, and a later export reads the source again.
TEST_F(CoverExport, APreparedCoverIsStoredAndReportedOnlyAtItsTurn)
{
    AudioFixtures::copy(QStringLiteral("song.ogg"), path(QStringLiteral("a/b/song.ogg")));
    testsupport::writeFile(path(QStringLiteral("a/b/Cover.jpg")), "not an image at all");
    testsupport::writeFile(path(QStringLiteral("a/b/folder.png")), pngBytes(Qt::red));
    QDir().mkpath(path(QStringLiteral("plain")));
    QDir().mkpath(path(QStringLiteral("prepared")));
    auto plain = coverFor(path(QStringLiteral("a/b/song.ogg")));
    ASSERT_TRUE(plain->copyArtwork(path(QStringLiteral("plain"))));

    auto cover = coverFor(path(QStringLiteral("a/b/song.ogg")));
    cover->prepareArtwork();
    EXPECT_FALSE(cover->exc().has_value());
    EXPECT_TRUE(cover->path().isEmpty());
    EXPECT_TRUE(QDir(path(QStringLiteral("prepared"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // The source changes after the preparation: this export stores what was
    // prepared, the next one reads the source anew.
    testsupport::writeFile(path(QStringLiteral("a/b/folder.png")), pngBytes(Qt::blue));
    ASSERT_TRUE(cover->copyArtwork(path(QStringLiteral("prepared"))));
    ASSERT_TRUE(cover->exc().has_value());
    EXPECT_EQ(cover->exc()->name(), QStringLiteral("No Image data"));
    EXPECT_EQ(testsupport::readFile(path(QStringLiteral("prepared/C0FFEE0000000001.jpg"))),
              testsupport::readFile(path(QStringLiteral("plain/C0FFEE0000000001.jpg"))));
    ASSERT_TRUE(cover->copyArtwork(path(QStringLiteral("prepared"))));
    const QImage again(path(QStringLiteral("prepared/C0FFEE0000000001.jpg")));
    ASSERT_EQ(again.size(), QSize(8, 8));
    EXPECT_GT(qBlue(again.pixel(4, 4)), 200);
}

TEST_F(CoverExport, AnImageTheJpegEncoderRefusesIsNoArtworkAndTheNextOneIsTried)
{
    AudioFixtures::copy(QStringLiteral("song.ogg"), path(QStringLiteral("a/b/song.ogg")));
    testsupport::writeFile(path(QStringLiteral("a/b/cover.png")), tooWideForJpeg());
    auto alone = coverFor(path(QStringLiteral("a/b/song.ogg")));
    EXPECT_FALSE(alone->copyArtwork(dir.path()));
    ASSERT_TRUE(alone->exc().has_value());
    EXPECT_EQ(alone->exc()->name(), QStringLiteral("No artwork available"));
    EXPECT_EQ(alone->exc()->reason(), QStringLiteral("no artwork available: \"C0FFEE0000000001\""));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("C0FFEE0000000001.jpg"))));

    testsupport::writeFile(path(QStringLiteral("a/b/front.png")), pngBytes(Qt::red));
    auto cover = coverFor(path(QStringLiteral("a/b/song.ogg")));
    EXPECT_TRUE(cover->copyArtwork(dir.path()));
    ASSERT_TRUE(cover->exc().has_value());
    EXPECT_EQ(cover->exc()->name(), QStringLiteral("No artwork available"));
    const QImage exported(path(QStringLiteral("C0FFEE0000000001.jpg")));
    ASSERT_EQ(exported.size(), QSize(8, 8));
    EXPECT_GT(qRed(exported.pixel(4, 4)), 200);
}

TEST_F(CoverExport, PutsAnEmbeddedFrontCoverFirst)
{
    const QString song = path(QStringLiteral("a/b/song.mp3"));
    AudioFixtures::copy(QStringLiteral("song.mp3"), song);
    {
        const QByteArray name = QFile::encodeName(song);
        TagLib::MPEG::File file(name.constData());
        TagLib::ID3v2::Tag *tag = file.ID3v2Tag(true);
        tag->removeFrames("APIC");
        const auto addPicture = [tag](TagLib::ID3v2::AttachedPictureFrame::Type type, const QByteArray &bytes) {
            auto *frame = new TagLib::ID3v2::AttachedPictureFrame;
            frame->setType(type);
            frame->setMimeType("image/png");
            frame->setPicture(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
            tag->addFrame(frame);
        };
        addPicture(TagLib::ID3v2::AttachedPictureFrame::BackCover, pngBytes(Qt::green));
        addPicture(TagLib::ID3v2::AttachedPictureFrame::FrontCover, ImageFixtures::hugePngHeader());
        addPicture(TagLib::ID3v2::AttachedPictureFrame::Other, pngBytes(Qt::red));
        ASSERT_TRUE(file.save());
    }
    auto cover = coverFor(song);
    ASSERT_EQ(cover->track()->artworks().count(), 3);
    // The front cover (the huge one) is tried first and fails; the back cover follows.
    ASSERT_TRUE(cover->copyArtwork(dir.path()));
    ASSERT_TRUE(cover->exc().has_value());
    EXPECT_EQ(cover->exc()->name(), QStringLiteral("No Image data"));
    const QImage exported(path(QStringLiteral("C0FFEE0000000001.jpg")));
    ASSERT_FALSE(exported.isNull());
    EXPECT_GT(qGreen(exported.pixel(4, 4)), 200);
    EXPECT_LT(qRed(exported.pixel(4, 4)), 40);
}

TEST_F(CoverExport, EveryArtworkFailingLeavesTheLastFailureAndNoFile)
{
    AudioFixtures::copy(QStringLiteral("song.ogg"), path(QStringLiteral("a/b/song.ogg")));
    testsupport::writeFile(path(QStringLiteral("a/b/cover.jpg")), ImageFixtures::hugePngHeader());
    testsupport::writeFile(path(QStringLiteral("a/b/front.png")), ImageFixtures::hugeBmpHeader());
    auto cover = coverFor(path(QStringLiteral("a/b/song.ogg")));
    EXPECT_FALSE(cover->copyArtwork(dir.path()));
    ASSERT_TRUE(cover->exc().has_value());
    EXPECT_EQ(cover->exc()->name(), QStringLiteral("No Image data"));
    EXPECT_TRUE(cover->path().isNull());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("C0FFEE0000000001.jpg"))));
}

TEST_F(CoverExport, AFailedWriteAnswersFalseAfterSettingThePath)
{
    AudioFixtures::copy(QStringLiteral("song.flac"), path(QStringLiteral("a/b/song.flac")));
    auto cover = coverFor(path(QStringLiteral("a/b/song.flac")));
    EXPECT_FALSE(cover->copyArtwork(path(QStringLiteral("missing-folder"))));
    EXPECT_EQ(cover->path(), path(QStringLiteral("missing-folder/C0FFEE0000000001.jpg")));
    // The failure is recorded, so that the run reports it.
    ASSERT_TRUE(cover->exc().has_value());
    EXPECT_EQ(cover->exc()->name(), iTunesAlbumCover::CoverWriteFailureName);
    EXPECT_TRUE(cover->exc()->reason().contains(path(QStringLiteral("missing-folder/C0FFEE0000000001.jpg"))));
}

TEST_F(CoverExport, ReplacesAnExistingFileAndNeverLeavesTheFolder)
{
    AudioFixtures::copy(QStringLiteral("song.m4a"), path(QStringLiteral("a/b/song.m4a")));
    testsupport::writeFile(path(QStringLiteral("C0FFEE0000000001.jpg")), "old");
    auto cover = coverFor(path(QStringLiteral("a/b/song.m4a")));
    ASSERT_TRUE(cover->copyArtwork(dir.path()));
    EXPECT_TRUE(testsupport::readFile(path(QStringLiteral("C0FFEE0000000001.jpg"))).startsWith("\xff\xd8"));

    auto hostile = coverFor(path(QStringLiteral("a/b/song.m4a")), QStringLiteral("../escaped"));
    EXPECT_FALSE(hostile->copyArtwork(path(QStringLiteral("a"))));
    EXPECT_TRUE(hostile->exc().has_value());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("escaped.jpg"))));
}

TEST_F(CoverExport, ATrackWithoutArtworkAnswersFalseWithoutAFailure)
{
    AudioFixtures::copy(QStringLiteral("song.wav"), path(QStringLiteral("a/b/song.wav")));
    auto cover = coverFor(path(QStringLiteral("a/b/song.wav")));
    EXPECT_FALSE(cover->copyArtwork(dir.path()));
    EXPECT_FALSE(cover->exc().has_value());
    EXPECT_EQ(cover->artworkFileName(), QStringLiteral("C0FFEE0000000001.jpg"));
    iTunesAlbumCover empty;
    EXPECT_FALSE(empty.copyArtwork(dir.path()));
    EXPECT_TRUE(empty.artworkFileName().isNull());
}

} // namespace

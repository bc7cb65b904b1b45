#include "itunes/ArtworkFinder.h"

#include "itunes/TagLibSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <unistd.h>

namespace {

struct Picture {
    bool front = false;
    QByteArray bytes;
};

QByteArray toBytes(const TagLib::ByteVector &data)
{
    return QByteArray(data.data(), qsizetype(data.size()));
}

void addId3v2Pictures(TagLib::ID3v2::Tag *tag, QList<Picture> &pictures)
{
    if (!tag)
        return;
    for (TagLib::ID3v2::Frame *frame : tag->frameList("APIC")) {
        if (auto *picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame))
            pictures.append({picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover, toBytes(picture->picture())});
    }
}

void addFlacPictures(const TagLib::List<TagLib::FLAC::Picture *> &list, QList<Picture> &pictures)
{
    for (TagLib::FLAC::Picture *picture : list)
        pictures.append({picture->type() == TagLib::FLAC::Picture::FrontCover, toBytes(picture->data())});
}

void addXiphPictures(TagLib::Ogg::XiphComment *comment, QList<Picture> &pictures)
{
    if (comment)
        addFlacPictures(comment->pictureList(), pictures);
}

QList<Picture> readPictures(const QString &audioPath)
{
    QList<Picture> pictures;
    // A missing file, or one that is not a regular file, has no pictures.
    const std::unique_ptr<TagLib::FileStream> stream = TagLibSupport::openRegularFile(audioPath);
    if (!stream)
        return pictures;
    TagLib::FileRef ref(stream.get(), false);
    TagLib::File *file = ref.file();
    if (!file || !file->isValid())
        return pictures;
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(file)) {
        addId3v2Pictures(mpeg->ID3v2Tag(false), pictures);
    } else if (auto *mp4 = dynamic_cast<TagLib::MP4::File *>(file)) {
        if (TagLib::MP4::Tag *tag = mp4->tag(); tag && tag->contains("covr")) {
            for (const TagLib::MP4::CoverArt &cover : tag->item("covr").toCoverArtList())
                pictures.append({false, toBytes(cover.data())});
        }
    } else if (auto *flac = dynamic_cast<TagLib::FLAC::File *>(file)) {
        addFlacPictures(flac->pictureList(), pictures);
        addXiphPictures(flac->xiphComment(false), pictures);
    } else if (auto *vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File *>(file)) {
        addXiphPictures(vorbis->tag(), pictures);
    } else if (auto *opus = dynamic_cast<TagLib::Ogg::Opus::File *>(file)) {
        addXiphPictures(opus->tag(), pictures);
    } else if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file)) {
        addId3v2Pictures(wav->ID3v2Tag(), pictures);
    } else if (auto *aiff = dynamic_cast<TagLib::RIFF::AIFF::File *>(file)) {
        addId3v2Pictures(aiff->tag(), pictures);
    } else if (auto *asf = dynamic_cast<TagLib::ASF::File *>(file)) {
        if (TagLib::ASF::Tag *tag = asf->tag()) {
            for (const TagLib::ASF::Attribute &attribute : tag->attribute("WM/Picture")) {
                const TagLib::ASF::Picture picture = attribute.toPicture();
                if (picture.isValid())
                    pictures.append({picture.type() == TagLib::ASF::Picture::FrontCover, toBytes(picture.picture())});
            }
        }
    }
    pictures.removeIf([](const Picture &picture) { return picture.bytes.isEmpty(); });
    std::stable_sort(pictures.begin(), pictures.end(),
                     [](const Picture &a, const Picture &b) { return a.front && !b.front; });
    return pictures;
}

} // namespace

QList<QByteArray> ArtworkFinder::embeddedPictures(const QString &audioPath)
{
    QList<QByteArray> bytes;
    for (const Picture &picture : readPictures(audioPath))
        bytes.append(picture.bytes);
    return bytes;
}

QStringList ArtworkFinder::sideImageFiles(const QString &audioPath)
{
    static const QStringList wanted = {
        QStringLiteral("cover.jpg"),  QStringLiteral("cover.jpeg"),  QStringLiteral("cover.png"),
        QStringLiteral("folder.jpg"), QStringLiteral("folder.jpeg"), QStringLiteral("folder.png"),
        QStringLiteral("front.jpg"),  QStringLiteral("front.jpeg"),  QStringLiteral("front.png"),
    };
    const QDir folder = QFileInfo(audioPath).dir();
    if (!folder.exists())
        return {};
    QHash<QString, QString> byLowerName;
    const QStringList entries = folder.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &entry : entries) {
        const QString lower = entry.toLower();
        if (wanted.contains(lower) && !byLowerName.contains(lower))
            byLowerName.insert(lower, entry);
    }
    QStringList files;
    for (const QString &name : wanted) {
        if (const auto found = byLowerName.constFind(name); found != byLowerName.cend())
            files.append(folder.filePath(found.value()));
    }
    return files;
}

ArtworkFinder::Artworks ArtworkFinder::artworksForFile(const QString &audioPath)
{
    Artworks artworks;
    for (QByteArray &bytes : embeddedPictures(audioPath))
        artworks.push_back(std::make_shared<MusicSourceArtwork>(MusicSourceArtwork::fromBytes(std::move(bytes))));
    if (artworks.empty()) {
        for (QString &path : sideImageFiles(audioPath))
            artworks.push_back(std::make_shared<MusicSourceArtwork>(MusicSourceArtwork::fromFile(std::move(path))));
    }
    return artworks;
}

#include "itunes/TagLibAudioFile.h"

#include "itunes/AudioFileTagReader.h"
#include "platform/ValueLimit.h"

#include <QFile>

#include <taglib/aifffile.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tag.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <climits>
#include <fcntl.h>
#include <algorithm>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {


// TagLib reports every oddity of a damaged file on standard error; a scan of
// someone's music folder should not.
class SilentDebugListener : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String &) override {}
};

// A stream over a descriptor already checked, named after the file so that
// TagLib can tell the type by its extension.
class RegularFileStream : public TagLib::FileStream {
public:
    RegularFileStream(int descriptor, QByteArray name) : TagLib::FileStream(descriptor, true), m_name(std::move(name)) {}
    TagLib::FileName name() const override { return m_name.constData(); }

private:
    QByteArray m_name;
};

// File name bytes for TagLib; also silences TagLib's debug output once.
QByteArray fileName(const QString &path)
{
    static SilentDebugListener listener;
    static std::once_flag installed;
    std::call_once(installed, [] { TagLib::setDebugListener(&listener); });
    return QFile::encodeName(path);
}

// A value past ValueLimit is a damaged tag, taken as absent: published, it
// would make a library file whose readers (the share check, the server) pass
// over its song.
QString toQString(const TagLib::String &text)
{
    if (text.isEmpty())
        return {};
    const std::string utf8 = text.to8Bit(true);
    if (qsizetype(utf8.size()) > ValueLimit::Bytes)
        return {};
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// A read-only stream over the regular file at path, for TagLib::FileRef
// (which then tells the type by the path's extension); null for a missing
// file and for anything that is not a regular file (a FIFO, a device, a
// folder), which is refused without waiting on it.
std::unique_ptr<TagLib::FileStream> openRegularFile(const QString &path)
{
    QByteArray name = fileName(path);
    // Non-blocking, so that a FIFO is refused by fstat instead of hanging the open.
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return nullptr;
    }
    // The stream owns the descriptor from here on.
    auto stream = std::make_unique<RegularFileStream>(descriptor, std::move(name));
    if (!stream->isOpen())
        return nullptr;
    return stream;
}

QString firstValue(const TagLib::PropertyMap &map, const char *key)
{
    const auto found = map.find(key);
    if (found == map.end() || found->second.isEmpty())
        return {};
    return toQString(found->second.front());
}

int clampedInt(unsigned int value)
{
    return value > unsigned(INT_MAX) ? INT_MAX : int(value);
}

QByteArray toBytes(const TagLib::ByteVector &data)
{
    return QByteArray(data.data(), qsizetype(data.size()));
}

void addId3v2Pictures(TagLib::ID3v2::Tag *tag, QList<TagLibAudioFile::Picture> &pictures)
{
    if (!tag)
        return;
    for (TagLib::ID3v2::Frame *frame : tag->frameList("APIC")) {
        if (auto *picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame))
            pictures.append({picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover, toBytes(picture->picture())});
    }
}

void addFlacPictures(const TagLib::List<TagLib::FLAC::Picture *> &list, QList<TagLibAudioFile::Picture> &pictures)
{
    for (TagLib::FLAC::Picture *picture : list)
        pictures.append({picture->type() == TagLib::FLAC::Picture::FrontCover, toBytes(picture->data())});
}

void addXiphPictures(TagLib::Ogg::XiphComment *comment, QList<TagLibAudioFile::Picture> &pictures)
{
    if (comment)
        addFlacPictures(comment->pictureList(), pictures);
}

} // namespace

bool TagLibAudioFile::readTags(const QString &path, MusicTrackProperties &track)
{
    const std::unique_ptr<TagLib::FileStream> stream = openRegularFile(path);
    TagLib::FileRef ref = stream ? TagLib::FileRef(stream.get(), true, TagLib::AudioProperties::Average) : TagLib::FileRef();
    if (!ref.isNull() && ref.tag()) {
        const TagLib::Tag *tag = ref.tag();
        track.name = toQString(tag->title());
        track.artist = toQString(tag->artist());
        track.album = toQString(tag->album());
        track.genre = toQString(tag->genre());
        track.year = clampedInt(tag->year());
        track.trackNumber = clampedInt(tag->track());
        const TagLib::PropertyMap map = ref.file()->properties();
        track.albumArtist = firstValue(map, "ALBUMARTIST");
        track.composer = firstValue(map, "COMPOSER");
        const auto [trackNumber, trackCount] = AudioFileTagReader::numberAndTotal(firstValue(map, "TRACKNUMBER"));
        if (trackNumber > 0)
            track.trackNumber = trackNumber;
        track.trackCount = trackCount > 0 ? trackCount : firstValue(map, "TRACKTOTAL").toInt();
        const auto [discNumber, discCount] = AudioFileTagReader::numberAndTotal(firstValue(map, "DISCNUMBER"));
        track.discNumber = discNumber;
        track.discCount = discCount > 0 ? discCount : firstValue(map, "DISCTOTAL").toInt();
    }
    if (!ref.isNull() && ref.audioProperties()) {
        const TagLib::AudioProperties *audio = ref.audioProperties();
        // A damaged file can give a negative length (an Ogg stream whose
        // last granule position is below its first): never a negative time.
        track.duration = std::max(0, audio->lengthInMilliseconds()) / 1000.0;
        track.bitRate = std::max(0, audio->bitrate());
        track.sampleRate = std::max(0, audio->sampleRate());
    }
    return !ref.isNull();
}

QList<TagLibAudioFile::Picture> TagLibAudioFile::embeddedPictures(const QString &audioPath)
{
    QList<Picture> pictures;
    // A missing file, or one that is not a regular file, has no pictures.
    const std::unique_ptr<TagLib::FileStream> stream = openRegularFile(audioPath);
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
    return pictures;
}

QStringList TagLibAudioFile::readableExtensions()
{
    QStringList extensions;
    for (const TagLib::String &extension : TagLib::FileRef::defaultFileExtensions())
        extensions.append(QString::fromLatin1(extension.toCString()).toLower());
    return extensions;
}

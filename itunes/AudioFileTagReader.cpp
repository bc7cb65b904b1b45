#include "itunes/AudioFileTagReader.h"

#include "itunes/TagLibSupport.h"

#include <QFileInfo>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>
#include <taglib/tag.h>

#include <climits>

namespace {

QString firstValue(const TagLib::PropertyMap &map, const char *key)
{
    const auto found = map.find(key);
    if (found == map.end() || found->second.isEmpty())
        return {};
    return TagLibSupport::toQString(found->second.front());
}

int clampedInt(unsigned int value)
{
    return value > unsigned(INT_MAX) ? INT_MAX : int(value);
}

} // namespace

QPair<int, int> AudioFileTagReader::numberAndTotal(const QString &text)
{
    const qsizetype slash = text.indexOf(u'/');
    const QString number = slash < 0 ? text : text.left(slash);
    const QString total = slash < 0 ? QString() : text.mid(slash + 1);
    return {number.trimmed().toInt(), total.trimmed().toInt()};
}

MusicTrackProperties AudioFileTagReader::read(const QString &path)
{
    MusicTrackProperties track;
    const QFileInfo info(path);
    track.location = path;
    track.size = info.size();
    // Read-only, and only a regular file: a FIFO under a track's name must
    // not hang the run.
    const std::unique_ptr<TagLib::FileStream> stream = TagLibSupport::openRegularFile(path);
    TagLib::FileRef ref = stream ? TagLib::FileRef(stream.get(), true, TagLib::AudioProperties::Average) : TagLib::FileRef();
    if (!ref.isNull() && ref.tag()) {
        const TagLib::Tag *tag = ref.tag();
        track.name = TagLibSupport::toQString(tag->title());
        track.artist = TagLibSupport::toQString(tag->artist());
        track.album = TagLibSupport::toQString(tag->album());
        track.genre = TagLibSupport::toQString(tag->genre());
        track.year = clampedInt(tag->year());
        track.trackNumber = clampedInt(tag->track());
        const TagLib::PropertyMap map = ref.file()->properties();
        track.albumArtist = firstValue(map, "ALBUMARTIST");
        track.composer = firstValue(map, "COMPOSER");
        const auto [trackNumber, trackCount] = numberAndTotal(firstValue(map, "TRACKNUMBER"));
        if (trackNumber > 0)
            track.trackNumber = trackNumber;
        track.trackCount = trackCount > 0 ? trackCount : firstValue(map, "TRACKTOTAL").toInt();
        const auto [discNumber, discCount] = numberAndTotal(firstValue(map, "DISCNUMBER"));
        track.discNumber = discNumber;
        track.discCount = discCount > 0 ? discCount : firstValue(map, "DISCTOTAL").toInt();
    }
    if (!ref.isNull() && ref.audioProperties()) {
        const TagLib::AudioProperties *audio = ref.audioProperties();
        track.duration = audio->lengthInMilliseconds() / 1000.0;
        track.bitRate = audio->bitrate();
        track.sampleRate = audio->sampleRate();
    }
    if (track.name.isEmpty())
        track.name = info.completeBaseName();
    return track;
}

#include "itunes/AudioFileTagReader.h"

#include "itunes/TagLibAudioFile.h"

#include <QFileInfo>

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
    TagLibAudioFile::readTags(path, track);
    if (track.name.isEmpty())
        track.name = info.completeBaseName();
    return track;
}

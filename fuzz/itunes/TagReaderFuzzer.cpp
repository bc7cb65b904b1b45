// Any bytes as an audio file of any type TagLib reads: the tag reader must
// finish without crashing and keep its values within their ranges.
#include "fuzz/itunes/FuzzInputFile.h"
#include "itunes/AudioFileTagReader.h"
#include "itunes/TagLibAudioFile.h"

#include <QFile>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QStringList extensions = TagLibAudioFile::readableExtensions();
    const QString path = writeFuzzInputFile("tag_reader_fuzzer", extensions, data, size);
    if (path.isNull())
        return 0;
    const MusicTrackProperties track = AudioFileTagReader::read(path);
    if (track.duration < 0 || track.size < 0)
        std::abort();
    (void)AudioFileTagReader::numberAndTotal(track.name);
    QFile::remove(path);
    return 0;
}

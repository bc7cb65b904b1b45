// Any bytes as an audio file: the embedded pictures are found and each is
// decoded and exported as a cover, as a sync does.
#include "fuzz/itunes/FuzzInputFile.h"
#include "itunes/ArtworkFinder.h"
#include "itunes/CoverJpegEncoder.h"
#include "itunes/TagLibAudioFile.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QStringList extensions = TagLibAudioFile::readableExtensions();
    const QString path = writeFuzzInputFile("embedded_artwork_fuzzer", extensions, data, size);
    if (path.isNull())
        return 0;
    for (const QByteArray &picture : ArtworkFinder::embeddedPictures(path)) {
        const QImage bitmap = CoverJpegEncoder::toBitmap(CoverJpegEncoder::decode(picture));
        if (!bitmap.isNull())
            (void)CoverJpegEncoder::encodeJpeg(bitmap);
    }
    QFile::remove(path);
    return 0;
}

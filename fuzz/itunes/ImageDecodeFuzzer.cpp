// Any bytes as artwork: decoded within the memory budget, made a bitmap and
// encoded as the cover JPEG, as a cover export does.
#include "itunes/CoverJpegEncoder.h"

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QImage image = CoverJpegEncoder::decode(bytes);
    if (image.isNull())
        return 0;
    // The budget holds: no decoded image beyond it.
    if (image.sizeInBytes() > qsizetype(CoverJpegEncoder::AllocationLimitMegabytes) * 1024 * 1024)
        std::abort();
    const QImage bitmap = CoverJpegEncoder::toBitmap(image);
    if (!bitmap.isNull())
        (void)CoverJpegEncoder::encodeJpeg(bitmap);
    return 0;
}

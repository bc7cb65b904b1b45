#pragma once

#include <QByteArray>
#include <QImage>

// The three steps of a cover export: decode image bytes of any format Qt
// reads (within a fixed memory budget), turn them into a plain opaque
// bitmap, encode that as JPEG with the encoder's defaults. The bitmap
// carries no text chunks, no colour profile and a fixed density, so the same
// artwork always gives the same JPEG bytes.
class CoverJpegEncoder {
public:
    // Upper bound for one decoded image, in megabytes (QImageReader's limit).
    static constexpr int AllocationLimitMegabytes = 256;
    // 72 dots per inch.
    static constexpr int DotsPerMeter = 2835;

    // A null image when the bytes are no image Qt can decode or the image
    // would need more than the allocation limit.
    static QImage decode(const QByteArray &bytes);
    // An opaque RGB32 copy (sRGB, transparency over white), or null.
    static QImage toBitmap(const QImage &image);
    // The JPEG bytes, or empty when the encoder fails.
    static QByteArray encodeJpeg(const QImage &bitmap);
};

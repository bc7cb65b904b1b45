#include "itunes/CoverJpegEncoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>

#include <cstring>

QImage CoverJpegEncoder::decode(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(AllocationLimitMegabytes);
    reader.setAutoTransform(true);
    // Refuse a claimed size beyond the budget before any pixel is decoded.
    const QSize size = reader.size();
    if (size.isValid()) {
        const qint64 bytesNeeded = qint64(size.width()) * qint64(size.height()) * 4;
        if (size.isEmpty() || bytesNeeded > qint64(AllocationLimitMegabytes) * 1024 * 1024)
            return {};
    }
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

QImage CoverJpegEncoder::toBitmap(const QImage &image)
{
    if (image.isNull())
        return {};
    QImage source = image;
    if (source.colorSpace().isValid() && source.colorSpace() != QColorSpace(QColorSpace::SRgb))
        source.convertToColorSpace(QColorSpace::SRgb);
    source = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (source.isNull())
        return {};
    // A fresh image: nothing of the source's metadata comes along.
    QImage bitmap(source.size(), QImage::Format_RGB32);
    if (bitmap.isNull())
        return {};
    const bool blend = source.format() == QImage::Format_ARGB32;
    for (int y = 0; y < source.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        QRgb *out = reinterpret_cast<QRgb *>(bitmap.scanLine(y));
        if (!blend) {
            std::memcpy(out, in, size_t(source.width()) * sizeof(QRgb));
            continue;
        }
        for (int x = 0; x < source.width(); ++x) {
            const QRgb pixel = in[x];
            const int alpha = qAlpha(pixel);
            const auto over = [alpha](int channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
            out[x] = qRgb(over(qRed(pixel)), over(qGreen(pixel)), over(qBlue(pixel)));
        }
    }
    bitmap.setDotsPerMeterX(DotsPerMeter);
    bitmap.setDotsPerMeterY(DotsPerMeter);
    return bitmap;
}

QByteArray CoverJpegEncoder::encodeJpeg(const QImage &bitmap)
{
    if (bitmap.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return {};
    QImageWriter writer(&buffer, "jpeg");
    if (!writer.write(bitmap))
        return {};
    return bytes;
}

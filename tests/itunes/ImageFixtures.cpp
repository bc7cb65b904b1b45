#include "tests/itunes/ImageFixtures.h"

#include <QtEndian>

namespace {

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

} // namespace

QByteArray ImageFixtures::hugePngHeader()
{
    const QByteArray ihdr = "IHDR" + bigEndian32(65500) + bigEndian32(65500) + QByteArray("\x08\x06\x00\x00\x00", 5);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += bigEndian32(13) + ihdr + bigEndian32(crc32(ihdr));
    const QByteArray idat = "IDAT" + QByteArray(64, '\0');
    png += bigEndian32(64) + idat + bigEndian32(crc32(idat));
    return png;
}

QByteArray ImageFixtures::hugeBmpHeader()
{
    QByteArray bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    qToLittleEndian<quint32>(54 + 16, bmp.data() + 2);
    qToLittleEndian<quint32>(54, bmp.data() + 10);
    qToLittleEndian<quint32>(40, bmp.data() + 14);
    qToLittleEndian<qint32>(65500, bmp.data() + 18);
    qToLittleEndian<qint32>(65500, bmp.data() + 22);
    qToLittleEndian<quint16>(1, bmp.data() + 26);
    qToLittleEndian<quint16>(24, bmp.data() + 28);
    return bmp + QByteArray(16, '\x7f');
}

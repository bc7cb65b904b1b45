#include "soap/Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> makeDecodeTable()
{
    std::array<int8_t, 256> table{};
    for (auto &entry : table)
        entry = -1;
    for (int value = 0; value < 64; ++value)
        table[static_cast<unsigned char>(alphabet[value])] = static_cast<int8_t>(value);
    return table;
}

constexpr std::array<int8_t, 256> decodeTable = makeDecodeTable();

} // namespace

QString Base64::base64Encoding(const QByteArray &data)
{
    return base64EncodingWithLineLength(data, 0);
}

QString Base64::base64EncodingWithLineLength(const QByteArray &data, quint32 lineLength)
{
    if (data.isEmpty())
        return QStringLiteral("");
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const qsizetype length = data.size();
    QByteArray text;
    text.reserve((length + 2) / 3 * 4 + (lineLength ? length / lineLength + 1 : 0));
    quint16 lineCount = 0;
    for (qsizetype offset = 0; offset < length; offset += 3) {
        const qsizetype remaining = length - offset;
        const unsigned char first = bytes[offset];
        const unsigned char second = remaining > 1 ? bytes[offset + 1] : 0;
        const unsigned char third = remaining > 2 ? bytes[offset + 2] : 0;
        text.append(alphabet[first >> 2]);
        text.append(alphabet[((first & 0x03) << 4) | (second >> 4)]);
        text.append(remaining > 1 ? alphabet[((second & 0x0f) << 2) | (third >> 6)] : '=');
        text.append(remaining > 2 ? alphabet[third & 0x3f] : '=');
        lineCount = static_cast<quint16>(lineCount + 4);
        if (lineLength > 0 && lineCount >= lineLength) {
            text.append('\n');
            lineCount = 0;
        }
    }
    return QString::fromLatin1(text);
}

QByteArray Base64::initWithBase64EncodedString(const QString &text)
{
    if (text.isNull())
        return QByteArray();
    QByteArray ascii;
    ascii.reserve(text.size());
    for (const QChar character : text) {
        if (character.unicode() > 0x7f)
            return QByteArray();
        ascii.append(static_cast<char>(character.unicode()));
    }
    return decodeBytes(ascii.constData(), ascii.size());
}

QByteArray Base64::decodeBytes(const char *bytes, qsizetype length)
{
    QByteArray data;
    if (!bytes || length <= 0)
        return data;
    for (qsizetype i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(bytes[i]) > 0x7f)
            return QByteArray();
    }
    data.reserve(length / 4 * 3 + 3);
    unsigned int values[4] = {0, 0, 0, 0};
    int gathered = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '=') {
            // Padding ends the text: emit what the gathered values complete.
            if (gathered == 3) {
                data.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
                data.append(static_cast<char>(((values[1] & 0x0f) << 4) | (values[2] >> 2)));
            } else if (gathered == 2) {
                data.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
            } else if (gathered == 1) {
                data.append(static_cast<char>(values[0] << 2));
            }
            return data;
        }
        const int value = decodeTable[byte];
        if (value < 0)
            continue;
        values[gathered++] = static_cast<unsigned int>(value);
        if (gathered == 4) {
            data.append(static_cast<char>((values[0] << 2) | (values[1] >> 4)));
            data.append(static_cast<char>(((values[1] & 0x0f) << 4) | (values[2] >> 2)));
            data.append(static_cast<char>(((values[2] & 0x03) << 6) | values[3]));
            gathered = 0;
        }
    }
    return data;
}

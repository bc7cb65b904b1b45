#pragma once

#include <QByteArray>
#include <QString>

// Base64 text for byte data and back (standard alphabet, "=" padding).
// Encoding may break lines with a single line feed; decoding is lenient:
// bytes outside the alphabet are skipped, the first "=" ends the text, and
// an unpadded partial group at the end gives no bytes.
class Base64 {
public:
    // Text without line breaks.
    static QString base64Encoding(const QByteArray &data);
    // lineLength 0 means no line breaks. A line feed follows each group of
    // four characters after which the running count reaches lineLength; the
    // count is 16 bits wide, so a length above 65532 never breaks a line.
    static QString base64EncodingWithLineLength(const QByteArray &data, quint32 lineLength);
    // Decodes text; a null text, or one holding any non-ASCII character,
    // gives empty data.
    static QByteArray initWithBase64EncodedString(const QString &text);
    static QByteArray initWithString(const QString &text) { return initWithBase64EncodedString(text); }
    static QByteArray dataWithBase64EncodedString(const QString &text) { return initWithBase64EncodedString(text); }
    // The decoder over raw bytes (every byte must be ASCII for a result).
    static QByteArray decodeBytes(const char *bytes, qsizetype length);
};

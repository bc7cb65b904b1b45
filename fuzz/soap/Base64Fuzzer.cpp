#include "soap/Base64.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any bytes as Base64 text; and any bytes encoded, at a line length taken
// from the input, must decode back to themselves.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto *text = reinterpret_cast<const char *>(data);
    const QByteArray decoded = Base64::decodeBytes(text, qsizetype(size));
    const QByteArray viaText = Base64::initWithBase64EncodedString(QString::fromUtf8(text, qsizetype(size)));
    // The text form drops non-ASCII input exactly like the byte form.
    if (QString::fromUtf8(text, qsizetype(size)).toUtf8() == QByteArray(text, qsizetype(size)) && decoded != viaText)
        std::abort();

    const QByteArray bytes(text, qsizetype(size));
    const quint32 lineLength = size > 0 ? data[0] % 100 : 0;
    const QString encoded = Base64::base64EncodingWithLineLength(bytes, lineLength);
    if (Base64::initWithBase64EncodedString(encoded) != bytes)
        std::abort();
    return 0;
}

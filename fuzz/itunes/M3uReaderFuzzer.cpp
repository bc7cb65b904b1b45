#include "itunes/M3uPlaylistReader.h"

#include <cstddef>
#include <cstdint>

// Any bytes as an .m3u playlist: split into entries and resolve each.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &entry : M3uPlaylistReader::entries(bytes))
        (void)M3uPlaylistReader::resolve(entry, QStringLiteral("/music/lists"));
    return 0;
}

#include "itunes/ExportLibraryReader.h"
#include "itunes/ExportMusicSource.h"

#include <cstddef>
#include <cstdint>

// Any bytes as a library export: read, then build the source the loader sees.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    ExportLibraryReader reader(FileLocationMapper({{QStringLiteral("file://localhost/C:/"), QStringLiteral("/home/")}}));
    if (!reader.readBytes(bytes))
        return 0;
    QStringList warnings = reader.warnings();
    const auto source = ExportMusicSource::fromContents(reader.takeContents(), QStringLiteral("fuzz"), warnings);
    for (const auto &playlist : source->libraryPlaylists().get())
        (void)playlist->tracks().get();
    for (const auto &playlist : source->userPlaylists().get())
        (void)playlist->tracks().count();
    return 0;
}

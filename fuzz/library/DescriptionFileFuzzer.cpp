// Arbitrary bytes as the previous library file and as the previous artwork
// file on the share: both readers must finish without crashing.
#include "library/AlbumCover.h"
#include "library/MusicLibrary.h"
#include "library/Track.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

QString inputPath()
{
    static const QString path = QStringLiteral("/tmp/description_file_fuzzer.%1.xml").arg(::getpid());
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(inputPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    MusicLibrary library;
    for (const char *id : {"T1", "A", "B"}) {
        auto track = std::make_shared<Track>();
        track->setPersistentId(QString::fromLatin1(id));
        track->setStatus(1);
        library.tracks().insert(track->persistentId(), track);
    }
    auto cover = std::make_shared<AlbumCover>();
    cover->setStatus(1);
    library.albumCovers().insert(QStringLiteral("A-B"), cover);
    library.syncTracks(inputPath());
    library.syncAlbumCovers(inputPath());
    return 0;
}

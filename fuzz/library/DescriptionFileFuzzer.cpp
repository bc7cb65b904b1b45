// Arbitrary bytes as the previous library file and as the previous artwork
// file on the share: both readers, and the check of a share holding them,
// must finish without crashing.
#include "library/AlbumCover.h"
#include "library/MusicLibrary.h"
#include "library/ShareVerifier.h"
#include "library/Track.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

QString inputPath()
{
    static const QString path = QStringLiteral("/tmp/description_file_fuzzer.%1.xml").arg(::getpid());
    return path;
}

// A share whose library file and artwork file are both the input.
QString shareFolder()
{
    static const QString folder = [] {
        const QString share = QStringLiteral("/tmp/description_file_fuzzer.%1.share").arg(::getpid());
        // Gone with the process, however many inputs it ran.
        std::atexit([] {
            QDir(QStringLiteral("/tmp/description_file_fuzzer.%1.share").arg(::getpid())).removeRecursively();
            QFile::remove(inputPath());
        });
        QDir().mkpath(share + QStringLiteral("/Library"));
        QDir().mkpath(share + QStringLiteral("/Artwork"));
        QFile::link(inputPath(), share + QStringLiteral("/Library/FUZZ.xml"));
        QFile::link(inputPath(), share + QStringLiteral("/Artwork/Artwork.xml"));
        return share;
    }();
    return folder;
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
    ShareVerifier verifier(shareFolder(), QStringLiteral("FUZZ"));
    verifier.setExpectedTracks({{QStringLiteral("T1"), QString(), QString()}});
    verifier.verify([](const ShareVerifier::Finding &) {});
    return 0;
}

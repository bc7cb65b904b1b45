#include "library/ArtworkFileWriter.h"

#include "library/ArtworkDocument.h"
#include "library/CoversAhead.h"
#include "library/FileFingerprint.h"
#include "library/FileReplacement.h"
#include "library/PreviousArtworkFile.h"
#include "library/ReplacementOutput.h"
#include "library/ShareFiles.h"
#include "share/TemporaryFile.h"

#include <vector>

#include <fcntl.h>
#include <unistd.h>

bool ArtworkFileWriter::write()
{
    const LibraryModel &model = m_stage.model;
    const SharePaths &paths = m_stage.paths;
    const SyncReports &reports = m_stage.reports;
    SyncCounters &counters = m_stage.counters;
    try {
        const bool wholeLibrary = model.syncCompleteMusicLibrary();
        LibraryModel::AlbumCoverMap coversToSync;
        if (!wholeLibrary)
            coversToSync = model.getAlbumCoverToSync();
        ArtworkDocument document;
        QSet<QString> listed;
        counters.numAlbumCoversProcessed = 0;
        counters.numAlbumCoversCopied = 0;
        counters.numAlbumCoversMissing = 0;
        const int maximum = wholeLibrary ? int(model.albumCovers().size()) : int(coversToSync.size());

        // A fresh share has no cover folder yet; the exports would all fail without it.
        if (!paths.albumCoverBasePath.isEmpty() && !ShareFiles::exists(paths.albumCoverBasePath))
            TemporaryFile::makeFolders(paths.albumCoverBasePath);

        const LibraryModel::AlbumCoverMap covers = model.albumCovers();
        const auto isExported = [&](const QString &albumId, const AlbumCover *cover) {
            return cover && cover->status() == 1 && (wholeLibrary || coversToSync.contains(albumId));
        };
        std::vector<AlbumCover *> exported;
        for (auto entry = covers.constKeyValueBegin(); entry != covers.constKeyValueEnd(); ++entry) {
            if (isExported(entry->first, entry->second.get()))
                exported.push_back(entry->second.get());
        }
        CoversAhead ahead(exported);
        std::size_t exportTurn = 0;
        for (auto entry = covers.constKeyValueBegin(); entry != covers.constKeyValueEnd(); ++entry) {
            reports.syncNotifyProgress(Activity::CoverProgress, std::nullopt, counters.numAlbumCoversProcessed,
                                       maximum);
            const QString &albumId = entry->first;
            AlbumCover *cover = entry->second.get();
            if (!cover || (cover->status() != 0 && cover->status() != 1))
                continue;
            if (!wholeLibrary && !coversToSync.contains(albumId)) {
                // Not this run's to export, but the share's artwork file lists
                // it: another library's album, or one outside the ticked
                // playlists. The one file serves every library on the share,
                // so it stays listed, uncounted.
                if (cover->status() == 0) {
                    document.addAlbumCover(albumId, cover->path());
                    listed.insert(albumId);
                }
                continue;
            }
            if (cover->status() == 1) {
                ahead.ready(exportTurn++);
                if (cover->copyArtwork(paths.albumCoverBasePath)) {
                    ++counters.numAlbumCoversCopied;
                } else {
                    ++counters.numAlbumCoversMissing;
                    if (cover->exc())
                        reports.syncNotifyException(QStringLiteral("%1 (DebugInfo: %2)")
                                                        .arg(QStringLiteral("Failed to copy artwork"))
                                                        .arg(cover->debugInfo()),
                                                    *cover->exc());
                    ++counters.numAlbumCoversProcessed;
                    continue;
                }
            }
            ++counters.numAlbumCoversProcessed;
            if (cover->status() == 1)
                cover->setPath(paths.serverSharePath + u"\\Artwork\\" + cover->artworkFileName());
            document.addAlbumCover(albumId, cover->path());
            listed.insert(albumId);
        }
        keepCoversStoredMeanwhile(document, listed);
        reports.syncNotifyTitle(Activity::SectionSaved, QStringLiteral("Saving Album Cover Information"));
        const QByteArray bytes = document.serialized();
        if (!ShareFiles::exists(paths.xmlAlbumCoverPath))
            TemporaryFile::makeFolders(ShareFiles::parentFolder(paths.xmlAlbumCoverPath));
        if (ReplacementOutput::fileHolds(paths.xmlAlbumCoverPath, bytes)) {
            // Byte for byte the file already on the share: it stays as it is.
            TemporaryFile::removeStale(paths.xmlAlbumCoverPath);
            return true;
        }
        ErrorRecord error;
        if (FileReplacement::writeAtomically(paths.xmlAlbumCoverPath, bytes, &error))
            return true;
        // The server would go on showing the previous covers: say so.
        reports.syncNotifyError(QStringLiteral("Cannot overwrite Artwork XML file"), error);
        return false;
    } catch (...) {
        return false;
    }
}

void ArtworkFileWriter::keepCoversStoredMeanwhile(ArtworkDocument &document, QSet<QString> &listed) const
{
    const QString &path = m_stage.paths.xmlAlbumCoverPath;
    const int descriptor = ::open(path.toUtf8().constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return; // nothing there to keep
    const bool unchanged = m_previousRead && m_previousRead->identifies(descriptor);
    ::close(descriptor);
    if (unchanged)
        return;
    int kept = 0;
    for (const ListedCover &cover : PreviousArtworkFile::listedCovers(path)) {
        if (listed.contains(cover.albumId))
            continue;
        document.addAlbumCover(cover.albumId, cover.path);
        listed.insert(cover.albumId);
        ++kept;
    }
    if (kept > 0)
        m_stage.reports.syncNotifyTitle(
            Activity::Log,
            QStringLiteral("The artwork file was stored by another run meanwhile: the %1 album covers it added stay listed")
                .arg(kept));
}

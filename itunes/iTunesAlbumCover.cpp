#include "itunes/iTunesAlbumCover.h"

#include "itunes/CoverJpegEncoder.h"
#include "itunes/MusicSourceError.h"
#include "library/FileReplacement.h"
#include "platform/SystemLog.h"


const QString iTunesAlbumCover::NoImageDataName = QStringLiteral("No Image data");
const QString iTunesAlbumCover::ImageConversionErrorName = QStringLiteral("Image conversion error");
const QString iTunesAlbumCover::NoArtworkAvailableName = QStringLiteral("No artwork available");
const QString iTunesAlbumCover::SourceFailureName = QStringLiteral("Music source error");
const QString iTunesAlbumCover::CoverWriteFailureName = QStringLiteral("Cover write error");

namespace {

struct ExportFailure {
    ExceptionRecord record;
};

} // namespace

void iTunesAlbumCover::recordFailure(const ExceptionRecord &failure)
{
    setExc(failure);
    systemLog(failure.reason());
}

iTunesAlbumCover::PreparedArtwork iTunesAlbumCover::prepared() const
{
    PreparedArtwork result;
    if (!m_track)
        return result;
    MusicElementList<MusicSourceArtwork> artworks;
    try {
        artworks = m_track->artworks();
        result.persistentID = m_track->persistentID();
        if (artworks.count() == 0)
            return result;
    } catch (const MusicSourceError &error) {
        result.failures.append(ExceptionRecord(SourceFailureName, error.message()));
        return result;
    }
    const QString &persistentID = result.persistentID;
    // The ID names the file: it must not lead out of the folder.
    if (persistentID.isEmpty() || persistentID.contains(u'/') || persistentID.contains(u'\\') || persistentID.startsWith(u'.')
        || persistentID.contains(QChar(0))) {
        result.failures.append(ExceptionRecord(SourceFailureName, QStringLiteral("unusable persistent ID for a file name: \"%1\"").arg(persistentID)));
        return result;
    }
    const auto quotedID = [&persistentID]() -> QString { return u'"' + persistentID + u'"'; };
    for (int index = 0; index < artworks.count(); ++index) {
        try {
            const std::shared_ptr<MusicSourceArtwork> artwork = artworks.objectAtIndex(index);
            const QImage image = artwork ? CoverJpegEncoder::decode(artwork->rawData()) : QImage();
            if (image.isNull())
                throw ExportFailure{{NoImageDataName, QStringLiteral("no image data for artwork: %1").arg(quotedID())}};
            const QImage bitmap = CoverJpegEncoder::toBitmap(image);
            if (bitmap.isNull())
                throw ExportFailure{{ImageConversionErrorName, QStringLiteral("Unable to convert image to bitmap: %1").arg(quotedID())}};
            result.jpeg = CoverJpegEncoder::encodeJpeg(bitmap);
            if (result.jpeg.isEmpty())
                throw ExportFailure{{NoArtworkAvailableName, QStringLiteral("no artwork available: %1").arg(quotedID())}};
            return result;
        } catch (const ExportFailure &failure) {
            result.failures.append(failure.record);
        } catch (const MusicSourceError &error) {
            result.failures.append(ExceptionRecord(SourceFailureName, error.message()));
        }
    }
    return result;
}

void iTunesAlbumCover::prepareArtwork()
{
    if (!m_prepared)
        m_prepared = prepared();
}

bool iTunesAlbumCover::copyArtwork(const QString &folder)
{
    prepareArtwork();
    const PreparedArtwork artwork = std::move(*m_prepared);
    m_prepared.reset();
    // Recorded at the cover's turn, in the order they were met.
    for (const ExceptionRecord &failure : artwork.failures)
        recordFailure(failure);
    if (artwork.jpeg.isEmpty())
        return false;
    setPath(QStringLiteral("%1/%2.jpg").arg(folder, artwork.persistentID));
    // Every write, the flush and the close are checked before the
    // rename: a full share never gets an empty cover.
    ErrorRecord error;
    if (FileReplacement::writeAtomically(path(), artwork.jpeg, &error))
        return true;
    recordFailure(ExceptionRecord(CoverWriteFailureName,
                                  QStringLiteral("cannot write the cover %1: %2")
                                      .arg(path(), error.localizedDescription())));
    return false;
}

bool iTunesAlbumCover::available() const
{
    if (!m_trackHasArtwork) {
        try {
            m_trackHasArtwork = m_track && m_track->artworks().count() != 0;
        } catch (const MusicSourceError &) {
            m_trackHasArtwork = false;
        }
    }
    return *m_trackHasArtwork || AlbumCover::available();
}

QString iTunesAlbumCover::artworkFileName()
{
    if (!m_track)
        return {};
    try {
        return QStringLiteral("%1.jpg").arg(m_track->persistentID());
    } catch (const MusicSourceError &) {
        return {};
    }
}

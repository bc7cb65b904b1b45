#pragma once

#include "itunes/MusicSourceTrack.h"
#include "library/AlbumCover.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <optional>

// An AlbumCover that keeps the first accepted track of its album and exports
// that track's artwork as a JPEG file when asked.
class iTunesAlbumCover : public AlbumCover {
public:
    static const QString NoImageDataName;         // "No Image data"
    static const QString ImageConversionErrorName; // "Image conversion error"
    static const QString NoArtworkAvailableName;  // "No artwork available"
    static const QString SourceFailureName;       // a failing call into the source
    // The cover's file could not be stored on the share.
    static const QString CoverWriteFailureName;

    // Writes the first artwork that converts to "<folder>/<persistent ID>.jpg"
    // atomically and answers the write's result; artworks that fail leave
    // their failure in exc() and the system log.
    bool copyArtwork(const QString &folder) override;
    // Reads the track's artworks and converts the first that converts to
    // JPEG bytes, keeping the failures met on the way for copyArtwork to
    // record at the cover's turn.
    void prepareArtwork() override;
    // "<persistent ID>.jpg".
    QString artworkFileName() override;
    // Whether the track has artwork, looked up when first asked (reading the
    // audio file and listing its folder), not for every album at the load.
    bool available() const override;

    const std::shared_ptr<MusicSourceTrack> &track() const { return m_track; }
    void setTrack(std::shared_ptr<MusicSourceTrack> track) { m_track = std::move(track); }

private:
    struct PreparedArtwork {
        QByteArray jpeg;
        QString persistentID;
        QList<ExceptionRecord> failures;
    };

    PreparedArtwork prepared() const;
    void recordFailure(const ExceptionRecord &failure);

    std::shared_ptr<MusicSourceTrack> m_track;
    mutable std::optional<bool> m_trackHasArtwork;
    std::optional<PreparedArtwork> m_prepared;
};

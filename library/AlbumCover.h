#pragma once

#include "platform/ExceptionRecord.h"

#include <QString>

#include <optional>

// One cover image per album, keyed by the album identifier. The music source
// derives from it and implements the export; covers known only from the
// server's artwork file are plain AlbumCover objects with status 0.
class AlbumCover {
public:
    AlbumCover() = default;
    virtual ~AlbumCover() = default;

    AlbumCover(const AlbumCover &) = default;
    AlbumCover &operator=(const AlbumCover &) = default;

    // Writes the album's image into folder under artworkFileName(), creating
    // or replacing that file. On failure returns false and, where a reason is
    // known, leaves it in exc(). The base has no image and returns false.
    virtual bool copyArtwork(const QString &folder);
    // Does ahead of the cover's turn, on any thread, the part of
    // copyArtwork that touches nothing on the share (reading and converting
    // the image), so that copyArtwork only stores it. Called at most once
    // before each copyArtwork, never at the same time as another call on
    // this cover. The base has nothing to do.
    virtual void prepareArtwork() {}
    // The image's file name without folder, stable per cover and distinct per
    // album. The base returns none (a null QString).
    virtual QString artworkFileName();

    // Where the image lies on the server, in the server's own path form.
    const QString &path() const { return m_path; }
    void setPath(const QString &value) { m_path = value; }
    int type() const { return m_type; }
    void setType(int value) { m_type = value; }
    // 1 = still to be exported, 0 = listed by the server's artwork file.
    int status() const { return m_status; }
    void setStatus(int value) { m_status = value; }
    // Whether the source has artwork for the album; the engine never asks.
    virtual bool available() const { return m_available; }
    void setAvailable(bool value) { m_available = value; }
    // The failure of the last copyArtwork(), or none.
    const std::optional<ExceptionRecord> &exc() const { return m_exc; }
    void setExc(const std::optional<ExceptionRecord> &value) { m_exc = value; }
    int debugInfo() const { return m_debugInfo; }
    void setDebugInfo(int value) { m_debugInfo = value; }

private:
    QString m_path;
    int m_type = 0;
    int m_status = 0;
    bool m_available = false;
    std::optional<ExceptionRecord> m_exc;
    int m_debugInfo = 0;
};

#pragma once

#include <QByteArray>
#include <QString>

// One artwork of a track: picture bytes held in memory (embedded in the
// audio file) or an image file beside the track, read when asked.
class MusicSourceArtwork {
public:
    static constexpr qint64 MaximumFileSize = 64 * 1024 * 1024;

    static MusicSourceArtwork fromBytes(QByteArray bytes);
    static MusicSourceArtwork fromFile(QString path);

    // The image bytes as the source holds them, in any image format; throws
    // MusicSourceError when the file cannot be read or is larger than
    // MaximumFileSize.
    QByteArray rawData() const;
    // The image file beside the track, or null for an embedded picture.
    const QString &filePath() const { return m_path; }

private:
    QByteArray m_bytes;
    QString m_path;
};

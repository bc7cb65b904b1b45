#pragma once

#include <QString>

// One track of the music library. The music source derives from it and fills
// the fields at import; the engine reads them and fills the three sanitised
// destination components (artistPath, albumPath, songPath).
//
// Text fields use a null QString for "none". status: 1 = not yet on the server,
// 0 = listed by the server's library file; any other value leaves the track out.
class Track {
public:
    Track() = default;
    virtual ~Track() = default;

    Track(const Track &) = default;
    Track &operator=(const Track &) = default;

    const QString &album() const { return m_album; }
    void setAlbum(const QString &value) { m_album = value; }
    const QString &albumArtist() const { return m_albumArtist; }
    void setAlbumArtist(const QString &value) { m_albumArtist = value; }
    const QString &albumID() const { return m_albumID; }
    void setAlbumID(const QString &value) { m_albumID = value; }
    const QString &artists() const { return m_artists; }
    void setArtists(const QString &value) { m_artists = value; }
    int bitRate() const { return m_bitRate; }
    void setBitRate(int value) { m_bitRate = value; }
    const QString &composers() const { return m_composers; }
    void setComposers(const QString &value) { m_composers = value; }
    const QString &conductors() const { return m_conductors; }
    void setConductors(const QString &value) { m_conductors = value; }
    int disc() const { return m_disc; }
    void setDisc(int value) { m_disc = value; }
    // Length in milliseconds.
    float duration() const { return m_duration; }
    void setDuration(float value) { m_duration = value; }
    const QString &genres() const { return m_genres; }
    void setGenres(const QString &value) { m_genres = value; }
    int dbUniqueId() const { return m_dbUniqueId; }
    void setDbUniqueId(int value) { m_dbUniqueId = value; }
    const QString &persistentId() const { return m_persistentId; }
    void setPersistentId(const QString &value) { m_persistentId = value; }
    // Absolute path of the audio file on the local disk.
    const QString &location() const { return m_location; }
    void setLocation(const QString &value) { m_location = value; }
    const QString &artistPath() const { return m_artistPath; }
    void setArtistPath(const QString &value) { m_artistPath = value; }
    const QString &albumPath() const { return m_albumPath; }
    void setAlbumPath(const QString &value) { m_albumPath = value; }
    const QString &songPath() const { return m_songPath; }
    void setSongPath(const QString &value) { m_songPath = value; }
    // Where the previous library file placed the track under the music
    // folder ("artist/album/song"); null when it did not say.
    const QString &listedPath() const { return m_listedPath; }
    void setListedPath(const QString &value) { m_listedPath = value; }
    int sampleRate() const { return m_sampleRate; }
    void setSampleRate(int value) { m_sampleRate = value; }
    int size() const { return m_size; }
    void setSize(int value) { m_size = value; }
    const QString &title() const { return m_title; }
    void setTitle(const QString &value) { m_title = value; }
    int totalDiscs() const { return m_totalDiscs; }
    void setTotalDiscs(int value) { m_totalDiscs = value; }
    int totalTracks() const { return m_totalTracks; }
    void setTotalTracks(int value) { m_totalTracks = value; }
    int track() const { return m_track; }
    void setTrack(int value) { m_track = value; }
    int released() const { return m_released; }
    void setReleased(int value) { m_released = value; }
    // Lower-case file extension of location ("mp3", "m4a", ...).
    const QString &type() const { return m_type; }
    void setType(const QString &value) { m_type = value; }
    int status() const { return m_status; }
    void setStatus(int value) { m_status = value; }
    bool DRMProtected() const { return m_DRMProtected; }
    void setDRMProtected(bool value) { m_DRMProtected = value; }

private:
    QString m_album;
    QString m_albumArtist;
    QString m_albumID;
    QString m_artists;
    int m_bitRate = 0;
    QString m_composers;
    QString m_conductors;
    int m_disc = 0;
    float m_duration = 0.0f;
    QString m_genres;
    int m_dbUniqueId = 0;
    QString m_persistentId;
    QString m_location;
    QString m_artistPath;
    QString m_albumPath;
    QString m_songPath;
    QString m_listedPath;
    int m_sampleRate = 0;
    int m_size = 0;
    QString m_title;
    int m_totalDiscs = 0;
    int m_totalTracks = 0;
    int m_track = 0;
    int m_released = 0;
    QString m_type;
    int m_status = 0;
    bool m_DRMProtected = false;
};

#pragma once

#include "itunes/MusicApplication.h"
#include "library/MusicLibrary.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

// The MusicLibrary filled from the music source: the tracks of the library
// playlist (one album cover per album) and the user playlists.
class iTunesMusicLibrary : public MusicLibrary {
public:
    // Four-character kind code of a library source.
    static constexpr quint32 kLib = MusicSource::KindLibrary;
    static constexpr int BatchSize = 500;

    iTunesMusicLibrary();

    // Loads tracks and playlists. Without an application set, opens the one
    // the "MusicSource"/"MusicSourcePathMap" values choose.
    void loadiTunesLibrary();
    // The first library playlist of the first library source that has one.
    std::shared_ptr<MusicSourcePlaylist> getiTunesLibrary();
    int importTracks(const MusicSourcePlaylist &libraryPlaylist);
    int importUserPlaylists();

    const std::shared_ptr<MusicApplication> &iTunes() const { return m_iTunes; }
    void setITunes(std::shared_ptr<MusicApplication> application) { m_iTunes = std::move(application); }
    const QHash<QString, QString> &validMusicFileExtensions() const { return m_validMusicFileExtensions; }
    void setValidMusicFileExtensions(const QHash<QString, QString> &value) { m_validMusicFileExtensions = value; }

    // The values of the two settings, the home folder and the music folder
    // the default search starts from (null: <home>/Music); read when
    // loadiTunesLibrary opens the source.
    const QString &musicSource() const { return m_musicSource; }
    void setMusicSource(const QString &value) { m_musicSource = value; }
    const QVariant &musicSourcePathMap() const { return m_musicSourcePathMap; }
    void setMusicSourcePathMap(const QVariant &value) { m_musicSourcePathMap = value; }
    const QString &homePath() const { return m_homePath; }
    void setHomePath(const QString &value) { m_homePath = value; }
    const QString &musicFolder() const { return m_musicFolder; }
    void setMusicFolder(const QString &value) { m_musicFolder = value; }

    // The 13 accepted extensions, in table order.
    static QStringList acceptedExtensions();

private:
    void reportSourceProblems();

    std::shared_ptr<MusicApplication> m_iTunes;
    QHash<QString, QString> m_validMusicFileExtensions;
    QString m_musicSource;
    QVariant m_musicSourcePathMap;
    QString m_homePath;
    QString m_musicFolder;
};

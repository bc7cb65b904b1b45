#pragma once

#include "itunes/MusicElementList.h"
#include "itunes/MusicSourcePlaylist.h"

#include <QtGlobal>

#include <memory>
#include <vector>

// One source of music (a library), with its library playlist(s), whose
// track order is library order, and its user playlists.
class MusicSource {
public:
    // Four-character kind codes.
    static constexpr quint32 KindLibrary = 0x6B4C6962; // 'kLib'
    static constexpr quint32 KindDevice = 0x6B446576;  // 'kDev'

    using Playlists = std::vector<std::shared_ptr<MusicSourcePlaylist>>;

    MusicSource(QString name, quint32 kind, Playlists libraryPlaylists, Playlists userPlaylists)
        : m_name(std::move(name)), m_kind(kind), m_libraryPlaylists(std::move(libraryPlaylists)),
          m_userPlaylists(std::move(userPlaylists)) {}
    virtual ~MusicSource() = default;

    const QString &name() const { return m_name; }
    quint32 kind() const { return m_kind; }
    MusicElementList<MusicSourcePlaylist> libraryPlaylists() const { return MusicElementList<MusicSourcePlaylist>::of(m_libraryPlaylists); }
    MusicElementList<MusicSourcePlaylist> userPlaylists() const { return MusicElementList<MusicSourcePlaylist>::of(m_userPlaylists); }

private:
    QString m_name;
    quint32 m_kind;
    Playlists m_libraryPlaylists;
    Playlists m_userPlaylists;
};

#pragma once

#include "platform/KeyedCodable.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class KeyedUnarchiver;

// A user playlist of the music library. The music source derives from it and
// fills the member list on demand (getPlaylistTrackIDs). In a keyed archive a
// playlist holds exactly "Name" and "PersistentID".
class Playlist : public KeyedCodable {
public:
    Playlist() = default;
    ~Playlist() override = default;

    Playlist(const Playlist &) = default;
    Playlist &operator=(const Playlist &) = default;

    // Fills tracks() with the persistent identifiers of the member tracks, in
    // playlist order. The base does nothing.
    virtual void getPlaylistTrackIDs();
    // The source's track objects of this playlist; the base returns none (an
    // invalid QVariant).
    virtual QVariant getPlaylistTracks();

    void encodeWithCoder(KeyedArchiver &coder) const override;
    // Reads "Name" and "PersistentID"; tracks and the flags are left alone.
    virtual void initWithCoder(KeyedUnarchiver &coder);
    // A factory for KeyedUnarchiver::registerClass that builds a base Playlist.
    static KeyedCodablePtr decodePlaylist(KeyedUnarchiver &coder);

    // "Playlist" for the base; the music source's subclass names itself.
    QString archiveClassName() const override;
    QStringList archiveClassHierarchy() const override;

    // "Name=%@, ID=%@".
    QString description() const;

    const QString &name() const { return m_name; }
    void setName(const QString &value) { m_name = value; }
    const QString &persistentId() const { return m_persistentId; }
    void setPersistentId(const QString &value) { m_persistentId = value; }
    // Member track identifiers, or none until loaded.
    const std::optional<QStringList> &tracks() const { return m_tracks; }
    std::optional<QStringList> &tracks() { return m_tracks; }
    void setTracks(const std::optional<QStringList> &value) { m_tracks = value; }
    bool isSelected() const { return m_isSelected; }
    void setIsSelected(bool value) { m_isSelected = value; }
    bool isExpanded() const { return m_isExpanded; }
    void setIsExpanded(bool value) { m_isExpanded = value; }

private:
    QString m_name;
    QString m_persistentId;
    std::optional<QStringList> m_tracks;
    bool m_isSelected = false;
    bool m_isExpanded = false;
};

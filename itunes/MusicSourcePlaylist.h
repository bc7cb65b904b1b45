#pragma once

#include "itunes/MusicElementList.h"
#include "itunes/MusicSourceTrack.h"

#include <QString>

#include <functional>

// A playlist of a music source; its members are read each time tracks() is
// resolved.
class MusicSourcePlaylist {
public:
    using Members = std::function<MusicElementList<MusicSourceTrack>()>;

    MusicSourcePlaylist(QString name, QString persistentID, Members members)
        : m_name(std::move(name)), m_persistentID(std::move(persistentID)), m_members(std::move(members)) {}

    const QString &name() const { return m_name; }
    const QString &persistentID() const { return m_persistentID; }
    MusicElementList<MusicSourceTrack> tracks() const { return m_members ? m_members() : MusicElementList<MusicSourceTrack>(); }

private:
    QString m_name;
    QString m_persistentID;
    Members m_members;
};

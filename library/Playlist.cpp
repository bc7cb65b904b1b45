#include "library/Playlist.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace {
const QString NameKey = QStringLiteral("Name");
const QString PersistentIdKey = QStringLiteral("PersistentID");
} // namespace

void Playlist::getPlaylistTrackIDs()
{
}

QVariant Playlist::getPlaylistTracks()
{
    return {};
}

void Playlist::encodeWithCoder(KeyedArchiver &coder) const
{
    coder.encodeObject(m_name.isNull() ? QVariant() : QVariant(m_name), NameKey);
    coder.encodeObject(m_persistentId.isNull() ? QVariant() : QVariant(m_persistentId), PersistentIdKey);
}

void Playlist::initWithCoder(KeyedUnarchiver &coder)
{
    m_name = coder.decodeString(NameKey);
    m_persistentId = coder.decodeString(PersistentIdKey);
}

KeyedCodablePtr Playlist::decodePlaylist(KeyedUnarchiver &coder)
{
    auto playlist = std::make_shared<Playlist>();
    playlist->initWithCoder(coder);
    return playlist;
}

QString Playlist::archiveClassName() const
{
    return QStringLiteral("Playlist");
}

QStringList Playlist::archiveClassHierarchy() const
{
    return {QStringLiteral("Playlist"), QStringLiteral("NSObject")};
}

QString Playlist::description() const
{
    return QStringLiteral("Name=%1, ID=%2").arg(m_name, m_persistentId);
}

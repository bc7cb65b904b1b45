#include "app/SelectedPlaylistsArchive.h"

#include "library/Playlist.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <QVariantMap>

namespace {

std::optional<QVariantMap> restoreMap(const QByteArray &data)
{
    if (data.isEmpty())
        return std::nullopt;
    KeyedUnarchiver unarchiver;
    SelectedPlaylistsArchive::registerPlaylistClasses(unarchiver);
    const std::optional<QVariant> root = unarchiver.unarchive(data);
    if (!root || root->metaType() != QMetaType::fromType<QVariantMap>())
        return std::nullopt;
    return root->toMap();
}

} // namespace

void SelectedPlaylistsArchive::registerPlaylistClasses(KeyedUnarchiver &unarchiver)
{
    for (const QString &className : {QStringLiteral("iTunesMusicPlaylist"), QStringLiteral("Playlist")})
        unarchiver.registerClass(className, &Playlist::decodePlaylist);
}

QSet<QString> SelectedPlaylistsArchive::restoreIds(const QByteArray &data)
{
    const std::optional<QVariantMap> map = restoreMap(data);
    if (!map)
        return {};
    return QSet<QString>(map->keyBegin(), map->keyEnd());
}

SelectedPlaylistsArchive::PlaylistMap SelectedPlaylistsArchive::restore(const QByteArray &data)
{
    PlaylistMap playlists;
    const std::optional<QVariantMap> map = restoreMap(data);
    if (!map)
        return playlists;
    for (auto entry = map->constKeyValueBegin(); entry != map->constKeyValueEnd(); ++entry) {
        std::shared_ptr<Playlist> playlist;
        if (entry->second.canConvert<KeyedCodablePtr>())
            playlist = std::dynamic_pointer_cast<Playlist>(entry->second.value<KeyedCodablePtr>());
        if (!playlist) {
            playlist = std::make_shared<Playlist>();
            playlist->setPersistentId(entry->first);
        }
        playlists.insert(entry->first, playlist);
    }
    return playlists;
}

QByteArray SelectedPlaylistsArchive::archive(const PlaylistMap &map)
{
    QVariantMap root;
    for (auto entry = map.constKeyValueBegin(); entry != map.constKeyValueEnd(); ++entry)
        root.insert(entry->first, entry->second ? QVariant::fromValue(KeyedCodablePtr(entry->second)) : QVariant());
    return KeyedArchiver::archivedData(root);
}

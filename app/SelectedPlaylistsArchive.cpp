#include "app/SelectedPlaylistsArchive.h"

#include "library/Playlist.h"
#include "platform/KeyedUnarchiver.h"

#include <QVariantMap>

QSet<QString> SelectedPlaylistsArchive::restoreIds(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    KeyedUnarchiver unarchiver;
    for (const QString &className : {QStringLiteral("iTunesMusicPlaylist"), QStringLiteral("Playlist")})
        unarchiver.registerClass(className, &Playlist::decodePlaylist);
    const std::optional<QVariant> root = unarchiver.unarchive(data);
    if (!root || root->metaType() != QMetaType::fromType<QVariantMap>())
        return {};
    const QVariantMap map = root->toMap();
    return QSet<QString>(map.keyBegin(), map.keyEnd());
}

#include "app/SettingsMigration.h"

#include "app/SelectedPlaylistsArchive.h"
#include "app/SettingsStore.h"
#include "platform/KeyedArchiver.h"
#include "platform/SystemLog.h"

std::optional<bool> SettingsMigration::booleanValue(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong() != 0;
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString text = value.toString();
        qsizetype at = 0;
        while (at < text.size() && text.at(at).isSpace())
            ++at;
        if (at < text.size() && (text.at(at) == u'+' || text.at(at) == u'-'))
            ++at;
        while (at < text.size() && text.at(at) == u'0')
            ++at;
        if (at >= text.size())
            return false;
        const QChar first = text.at(at);
        return first == u'Y' || first == u'y' || first == u'T' || first == u't' || (first >= u'1' && first <= u'9');
    }
    default:
        return std::nullopt;
    }
}

QStringList SettingsMigration::migrate(const QVariantMap &legacy, SettingsStore &store)
{
    QStringList skipped;
    const QVariant playlists = legacy.value(SettingsStore::SelectedPlaylistsKey);
    if (!playlists.isValid()) {
        store.remove(SettingsStore::SelectedPlaylistsKey);
    } else {
        const QByteArray archive = playlists.metaType() == QMetaType::fromType<QVariantMap>()
                                       ? KeyedArchiver::archivedData(playlists)
                                       : QByteArray();
        if (archive.isEmpty())
            skipped.append(SettingsStore::SelectedPlaylistsKey);
        else
            store.setValue(SettingsStore::SelectedPlaylistsKey, archive);
    }

    for (const QString &key : {SettingsStore::iTunesGUIDKey, SettingsStore::MusicServerNameKey,
                               SettingsStore::MusicServerUserNameKey, SettingsStore::MusicServerPasswordKey,
                               SettingsStore::ITunesLibraryNameKey}) {
        const QVariant value = legacy.value(key);
        if (!value.isValid())
            store.remove(key);
        else if (value.metaType() == QMetaType::fromType<QString>())
            store.setValue(key, value.toString());
        else
            skipped.append(key);
    }

    for (const QString &key : {SettingsStore::SavePathEqualLocalHostKey, SettingsStore::SyncEntireLibraryKey}) {
        const QVariant value = legacy.value(key);
        const std::optional<bool> flag = value.isValid() ? booleanValue(value) : std::optional<bool>(false);
        if (flag)
            store.setValue(key, *flag);
        else
            skipped.append(key);
    }
    if (!skipped.isEmpty())
        systemLog(QStringLiteral("Legacy settings of the wrong type were not migrated: %1").arg(skipped.join(u", ")));
    return skipped;
}

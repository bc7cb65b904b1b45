// Any bytes as the settings file: every key read as the programs read it,
// the path map turned into a location mapper and used, the ticked playlists
// unarchived.
#include "app/SelectedPlaylistsArchive.h"
#include "app/SettingsStore.h"
#include "itunes/FileLocationMapper.h"
#include "itunes/MusicSourceLocator.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "settings_file_fuzzer";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static const QString path = [] {
        // Gone with the process, however many inputs it ran.
        std::atexit([] { QFile::remove(QStringLiteral("/tmp/settings_file_fuzzer.%1.conf").arg(::getpid())); });
        return QStringLiteral("/tmp/settings_file_fuzzer.%1.conf").arg(::getpid());
    }();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    SettingsStore settings(path);
    settings.registerDefaults(SettingsStore::builtInDefaults());
    for (const QString &key : SettingsStore::builtInDefaults().keys()) {
        (void)settings.string(key);
        (void)settings.boolean(key);
        (void)settings.stringList(key);
    }
    const FileLocationMapper mapper(
        MusicSourceLocator::parsePathMap(settings.value(SettingsStore::MusicSourcePathMapKey)));
    for (const char *location : {"file://localhost/C:/Users/a/Music/x.mp3", "file:///Volumes/Music/%E2%99%AA.m4a",
                                 "file://localhost/home/a/../b.flac"})
        (void)mapper.pathForLocation(QString::fromLatin1(location));
    (void)SelectedPlaylistsArchive::restoreIds(settings.value(SettingsStore::SelectedPlaylistsKey).toByteArray());
    return 0;
}

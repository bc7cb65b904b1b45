#include "cli/CliMusicSource.h"

#include "app/OrvanaSyncAppDelegate.h"
#include "app/SettingsStore.h"
#include "cli/TsvField.h"
#include "itunes/MusicSourceLocator.h"
#include "itunes/iTunesMusicLibrary.h"
#include "library/MusicLibrary.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

CliMusicSource::CliMusicSource(ErrorPrinter printError) : m_printError(std::move(printError)) {}

bool CliMusicSource::load(const CliOptions &options, SettingsStore &settings, OrvanaSyncAppDelegate &delegate)
{
    const QString source = options.source().isNull() ? settings.string(SettingsStore::MusicSourceKey) : options.source();
    const QVariant pathMap = options.pathMaps().isEmpty() ? settings.value(SettingsStore::MusicSourcePathMapKey)
                                                          : QVariant(options.pathMaps());
    const QString musicFolder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const MusicSourceLocator::Choice choice = MusicSourceLocator::choose(source, QDir::homePath(), musicFolder);
    std::shared_ptr<MusicApplication> application =
        MusicSourceLocator::open(source, pathMap, QDir::homePath(), musicFolder);
    const QString fix = QStringLiteral("give --source with a library export file or a music folder (or store it: "
                                       "orvanasync-cli config set MusicSource PATH)");
    if (choice.kind == MusicSourceLocator::Kind::None) {
        m_printError(source.trimmed().isEmpty()
                       ? QStringLiteral("no music source: there is no library export or folder at %1: %2")
                             .arg(choice.path, fix)
                       : QStringLiteral("the music source %1 does not exist: %2").arg(choice.path, fix));
        return false;
    }
    if (!application || !application->openError().isNull()) {
        const QString cause =
            application ? application->openError().localizedDescription() : QStringLiteral("nothing to open");
        m_printError(choice.kind == MusicSourceLocator::Kind::ExportFile
                       ? QStringLiteral("the music source %1 is neither a library export nor a folder (%2): %3")
                             .arg(choice.path, cause.simplified(), fix)
                       : QStringLiteral("the music folder %1 cannot be read (%2): %3")
                             .arg(choice.path, cause.simplified(), fix));
        return false;
    }
    m_application = application;
    auto library = std::make_shared<iTunesMusicLibrary>();
    library->setITunes(application);
    delegate.setLibrary(library);
    // On the main thread the reports reach the page directly.
    library->loadiTunesLibrary();
    return true;
}

QStringList CliMusicSource::leftOutLines() const
{
    QStringList lines;
    if (!m_application)
        return lines;
    const QMap<QString, int> &leftOut = m_application->leftOut();
    for (auto entry = leftOut.constKeyValueBegin(); entry != leftOut.constKeyValueEnd(); ++entry)
        lines.append(QStringLiteral("Left out of the music library: %1 %2").arg(entry->second).arg(entry->first));
    return lines;
}

bool CliMusicSource::selectionNamesKnownPlaylists(const CliOptions &options, const QSet<QString> &selected,
                                                  bool entireLibrary, OrvanaSyncAppDelegate &delegate)
{
    QSet<QString> known;
    for (const std::shared_ptr<Playlist> &playlist : delegate.ml()->playlists()) {
        if (playlist && !playlist->persistentId().isNull())
            known.insert(playlist->persistentId());
    }
    QStringList unknown;
    for (const QString &identifier : selected) {
        if (!known.contains(identifier))
            unknown.append(identifier);
    }
    unknown.sort();
    // IDs typed on the command line are a mistake to mend; stored ones may
    // name playlists deleted since they were ticked.
    if (options.playlists() && !unknown.isEmpty()) {
        for (const QString &identifier : std::as_const(unknown))
            m_printError(QStringLiteral("no playlist has the ID %1 (orvanasync-cli playlists lists them); nothing was "
                                      "written")
                           .arg(identifier));
        return false;
    }
    for (const QString &identifier : std::as_const(unknown))
        m_printError(QStringLiteral("warning: the stored selection names the playlist ID %1, which the music source "
                                  "does not have; it is left out")
                       .arg(identifier));
    if (entireLibrary || options.allowEmpty() || unknown.size() < selected.size())
        return true;
    m_printError(QStringLiteral("the selection names no playlist of the music source, so the run would publish an "
                              "empty library; nothing was written: give --playlists ID[,ID...] or --entire-library "
                              "(--allow-empty publishes it anyway)"));
    return false;
}

QByteArray CliMusicSource::playlistListing(MusicLibrary &library, bool json)
{
    QJsonArray list;
    QByteArray lines;
    for (const std::shared_ptr<Playlist> &playlist : library.playlists()) {
        if (!playlist)
            continue;
        if (!playlist->isExpanded()) {
            playlist->setIsExpanded(true);
            playlist->getPlaylistTrackIDs();
        }
        const qsizetype count = playlist->tracks() ? playlist->tracks()->size() : 0;
        if (json) {
            list.append(QJsonObject{{QStringLiteral("id"), playlist->persistentId()},
                                    {QStringLiteral("name"), playlist->name()},
                                    {QStringLiteral("tracks"), qint64(count)}});
        } else {
            lines += tsvField(playlist->persistentId()) + '\t' + QByteArray::number(count) + '\t' +
                     tsvField(playlist->name()) + '\n';
        }
    }
    if (json)
        lines = QJsonDocument(list).toJson(QJsonDocument::Indented);
    return lines;
}

#pragma once

#include "cli/CliOptions.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class MusicApplication;
class MusicLibrary;
class OrvanaSyncAppDelegate;
class SettingsStore;

// The music source of a command: opened from the options and the settings
// (by default the XDG music folder), loaded into the delegate's library,
// and checked against the playlists a sync selects.
class CliMusicSource {
public:
    // Prints one line of standard error, with the program's prefix.
    using ErrorPrinter = std::function<void(const QString &)>;

    explicit CliMusicSource(ErrorPrinter printError);

    // Opens and loads the source into a new library of the delegate; false
    // (the cause and its fix printed) when there is none to load.
    bool load(const CliOptions &options, SettingsStore &settings, OrvanaSyncAppDelegate &delegate);
    // The source load() opened; null before.
    const std::shared_ptr<MusicApplication> &application() const { return m_application; }
    // One line per reason entries of the music library were left out for.
    QStringList leftOutLines() const;

    // False (each unknown ID printed) when --playlists names a playlist the
    // source does not have, or when a selected-playlists run would select
    // none; stored IDs of vanished playlists are only warned about.
    bool selectionNamesKnownPlaylists(const CliOptions &options, const QSet<QString> &selected, bool entireLibrary,
                                      OrvanaSyncAppDelegate &delegate);

    // The playlists command's output: ID, track count and name per line,
    // tab-separated and escaped, or a JSON array.
    static QByteArray playlistListing(MusicLibrary &library, bool json);

private:
    ErrorPrinter m_printError;
    std::shared_ptr<MusicApplication> m_application;
};

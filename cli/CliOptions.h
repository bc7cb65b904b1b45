#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command line of orvanasync-cli. Options override the stored settings
// for one run only; a password is never taken from the command line.
//
// Commands and options are two tables in CliOptions.cpp (commandSpecs,
// optionSpecs): a new command is one row there and one case in CliProgram,
// a new option one row naming the commands that take it, read back with
// isSet()/value()/values() or a getter of its own.
class CliOptions {
public:
    enum class Command { None, Help, Version, Sync, Playlists, Config, Servers, Password, Verify };
    // -q: only errors and the totals; -v: also the "Debug:" lines.
    enum class Verbosity { Quiet, Normal, Verbose };

    // Parses the arguments after the program name; on a mistake, command()
    // is None and error() says what is wrong (and what to type instead).
    static CliOptions parse(const QStringList &arguments);

    Command command() const { return m_command; }
    const QString &error() const { return m_error; }
    // The words after the command (config's KEY and VALUE, password's set, say).
    const QStringList &arguments() const { return m_arguments; }

    // Any option by its long name (without "--").
    bool isSet(const QString &name) const;
    // Its last value; null when not given.
    QString value(const QString &name) const;
    // Every value of a repeatable option, in order.
    QStringList values(const QString &name) const;

    const QString &source() const { return m_source; }              // null: the stored "MusicSource"
    const QStringList &pathMaps() const { return m_pathMaps; }      // "FROM=TO" each
    const QString &server() const { return m_server; }              // null: the stored server
    const QString &serverName() const { return m_serverName; }      // null: by --server or the stored choice
    // How long to look for servers on the network, in milliseconds; none:
    // the command's own default.
    const std::optional<int> &waitMs() const { return m_waitMs; }
    const QString &userName() const { return m_userName; }
    const QString &passwordFile() const { return m_passwordFile; }
    const QString &libraryName() const { return m_libraryName; }
    const QString &libraryId() const { return m_libraryId; }
    // true: entire library, false: selected playlists; none: stored choice.
    const std::optional<bool> &entireLibrary() const { return m_entireLibrary; }
    const std::optional<QStringList> &playlists() const { return m_playlists; }
    const QString &shareFolder() const { return m_shareFolder; }
    bool localhostSharePath() const { return m_localhostSharePath; }
    const QString &settingsFile() const { return m_settingsFile; }
    bool dryRun() const { return m_dryRun; }
    // Publish a library with no tracks even where the share's lists some.
    bool allowEmpty() const { return m_allowEmpty; }
    bool json() const { return m_json; }
    Verbosity verbosity() const { return m_verbosity; }

    // The help text, made from the two tables.
    static QString usage();

private:
    Command m_command = Command::None;
    QString m_error;
    QStringList m_arguments;
    QList<std::pair<QString, QString>> m_given; // (long name, value) in order
    QString m_source;
    QStringList m_pathMaps;
    QString m_server;
    QString m_serverName;
    std::optional<int> m_waitMs;
    QString m_userName;
    QString m_passwordFile;
    QString m_libraryName;
    QString m_libraryId;
    std::optional<bool> m_entireLibrary;
    std::optional<QStringList> m_playlists;
    QString m_shareFolder;
    bool m_localhostSharePath = false;
    QString m_settingsFile;
    bool m_dryRun = false;
    bool m_allowEmpty = false;
    bool m_json = false;
    Verbosity m_verbosity = Verbosity::Normal;
};

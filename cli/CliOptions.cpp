#include "cli/CliOptions.h"

#include "cli/ConfigCommand.h"

#include <QCommandLineParser>

#include <algorithm>

namespace {

using Command = CliOptions::Command;

struct CommandSpec {
    const char *name;
    Command command;
    const char *synopsis; // the words after the command, for the help
    const char *description;
};

// Which commands take an option: bit n is row n of commandSpecs().
enum CommandSet : unsigned {
    ForSync = 1u << 0,
    ForPlaylists = 1u << 1,
    ForConfig = 1u << 2,
    ForServers = 1u << 3,
    ForPassword = 1u << 4,
    ForVerify = 1u << 5,
    ForEvery = ~0u,
};

struct OptionSpec {
    QStringList names;   // the long name first
    const char *valueName; // null: a flag
    const char *description;
    unsigned commands;
};

const QList<CommandSpec> &commandSpecs()
{
    static const QList<CommandSpec> specs = {
        {"sync", Command::Sync, "", "run one synchronisation"},
        {"playlists", Command::Playlists, "", "list the playlists of the music source (ID, tracks, name)"},
        {"config", Command::Config, "list | get KEY | set KEY VALUE | unset KEY",
         "show or change the stored settings"},
        {"servers", Command::Servers, "",
         "list the music servers announced on the network (name, IPv4 address, port)"},
        {"password", Command::Password, "set | clear",
         "store the share password of the server and user (the stored ones, or --server/--server-name and --user) "
         "in the desktop's keyring, or in the settings file where no keyring runs; set reads it from the terminal "
         "without echo, or from standard input; clear removes it"},
        {"verify", Command::Verify, "",
         "check the share against its library and artwork files (and --source): one line per problem; "
         "nothing is written"},
    };
    return specs;
}

const QList<OptionSpec> &optionSpecs()
{
    static const QList<OptionSpec> specs = {
        {{QStringLiteral("source")}, "PATH", "music source: a library export file or a music folder",
         ForSync | ForPlaylists | ForVerify},
        {{QStringLiteral("path-map")}, "FROM=TO", "map locations starting with FROM to TO (repeatable)",
         ForSync | ForPlaylists | ForVerify},
        {{QStringLiteral("server")}, "ADDRESS", "server host name or IPv4 address", ForSync | ForPassword | ForVerify},
        {{QStringLiteral("server-name")}, "NAME",
         "the server announced on the network as NAME (letter case ignored)", ForSync | ForPassword | ForVerify},
        {{QStringLiteral("wait")}, "SECONDS",
         "look for servers on the network this long (servers: 3; sync: 10, ending early once known)",
         ForSync | ForServers | ForVerify},
        {{QStringLiteral("user")}, "NAME", "share user name", ForSync | ForPassword | ForVerify},
        {{QStringLiteral("password-file")}, "FILE",
         "read the share password from FILE's first line (or set ORVANASYNC_PASSWORD; never on the command line); "
         "either comes before the stored password",
         ForSync | ForVerify},
        {{QStringLiteral("library-name")}, "NAME", "library name shown by the server", ForSync},
        {{QStringLiteral("library-id")}, "ID", "library identifier (names the library file)", ForSync | ForVerify},
        {{QStringLiteral("entire-library")}, nullptr, "sync the whole library", ForSync | ForVerify},
        {{QStringLiteral("selected-playlists")}, nullptr, "sync the ticked playlists only", ForSync | ForVerify},
        {{QStringLiteral("playlists")}, "ID[,ID...]", "the ticked playlists, by persistent ID", ForSync | ForVerify},
        {{QStringLiteral("share-folder")}, "DIR", "use DIR as the mounted share (no mount)", ForSync | ForVerify},
        {{QStringLiteral("localhost-share-path")}, nullptr, "write share paths as \\\\127.0.0.1\\OrvanaMusic",
         ForSync},
        {{QStringLiteral("dry-run")}, nullptr, "say what would be copied and written; change nothing", ForSync},
        {{QStringLiteral("allow-empty")}, nullptr,
         "publish a library with no tracks even where the share's library file lists tracks (refused otherwise)",
         ForSync},
        {{QStringLiteral("json")}, nullptr,
         "sync: end with a JSON summary object; playlists: print a JSON array of objects; verify: print one JSON object", ForSync | ForPlaylists | ForVerify},
        {{QStringLiteral("settings")}, "FILE", "use this settings file instead of the user's", ForEvery},
        {{QStringLiteral("quiet"), QStringLiteral("q")}, nullptr, "print only errors and the totals", ForEvery},
        {{QStringLiteral("verbose"), QStringLiteral("v")}, nullptr, "print the \"Debug:\" lines as well", ForEvery},
        {{QStringLiteral("version"), QStringLiteral("V")}, nullptr, "print the version and exit", ForEvery},
        {{QStringLiteral("help"), QStringLiteral("h")}, nullptr, "print this help and exit", ForEvery},
    };
    return specs;
}

const OptionSpec *findOption(const QString &name)
{
    for (const OptionSpec &spec : optionSpecs()) {
        if (spec.names.contains(name))
            return &spec;
    }
    return nullptr;
}

// A library identifier names a file in the share's Library folder.
bool isSafeLibraryId(const QString &id)
{
    return !id.isEmpty() && id != QLatin1String(".") && id != QLatin1String("..") && !id.contains(QLatin1Char('/')) &&
           !id.contains(QLatin1Char('\\')) && !id.contains(QChar(0));
}

qsizetype editDistance(const QString &a, const QString &b)
{
    QList<qsizetype> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The nearest of `candidates` to a mistyped word, or null when none is near.
QString nearest(const QString &word, const QStringList &candidates)
{
    QString best;
    qsizetype bestDistance = std::max<qsizetype>(2, word.size() / 3) + 1;
    for (const QString &candidate : candidates) {
        const qsizetype distance =
            candidate.startsWith(word) && word.size() >= 3 ? 1 : editDistance(word, candidate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

// One entry of the help: the head, then the description wrapped at 79
// columns in a second column (below the head when the head is long).
QString helpEntry(const QString &head, const QString &description)
{
    const qsizetype column = 28;
    const qsizetype width = 79;
    QString text = QStringLiteral("  ") + head;
    if (text.size() + 2 > column)
        text += QLatin1Char('\n') + QString(column, QLatin1Char(' '));
    else
        text += QString(column - text.size(), QLatin1Char(' '));
    qsizetype used = column;
    for (const QString &word : description.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (used > column && used + 1 + word.size() > width) {
            text += QLatin1Char('\n') + QString(column, QLatin1Char(' '));
            used = column;
        }
        if (used > column) {
            text += QLatin1Char(' ');
            ++used;
        }
        text += word;
        used += word.size();
    }
    return text + QLatin1Char('\n');
}

QString dashed(const QString &name) { return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name; }

QString unknownOptionError(const QString &name)
{
    QStringList longNames;
    for (const OptionSpec &spec : optionSpecs())
        longNames.append(spec.names.first());
    QString error = QStringLiteral("unknown option %1").arg(dashed(name));
    if (const QString guess = nearest(name, longNames); !guess.isNull())
        error += QStringLiteral("; did you mean --%1?").arg(guess);
    return error + QStringLiteral(" (orvanasync-cli --help lists the options)");
}

// The bit of a command in OptionSpec::commands: its row in commandSpecs().
unsigned commandBit(const CommandSpec &command) { return 1u << (&command - commandSpecs().constData()); }

QString commandNames(unsigned commands)
{
    QStringList names;
    for (const CommandSpec &spec : commandSpecs()) {
        if (commands & commandBit(spec))
            names.append(QString::fromLatin1(spec.name));
    }
    // "sync", "sync and servers", "sync, servers and verify".
    const QString last = names.isEmpty() ? QString() : names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// The word after a value option that is written apart from it: another
// option there means the value was left out.
QString missingValueBefore(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &word = arguments.at(i);
        if (word == QLatin1String("--"))
            return {};
        if (!word.startsWith(QLatin1Char('-')) || word.contains(QLatin1Char('=')))
            continue;
        const OptionSpec *spec = findOption(word.mid(word.startsWith(QLatin1String("--")) ? 2 : 1));
        if (!spec || !spec->valueName)
            continue;
        if (i + 1 >= arguments.size())
            return QStringLiteral("%1 needs a value").arg(word);
        const QString &next = arguments.at(i + 1);
        if (next.size() > 1 && next.startsWith(QLatin1Char('-')))
            return QStringLiteral("%1 needs a value, not the option %2 (a value that begins with \"-\" is written "
                                  "%1=VALUE)")
                .arg(word, next);
        ++i;
    }
    return {};
}

} // namespace

bool CliOptions::isSet(const QString &name) const
{
    return std::any_of(m_given.begin(), m_given.end(), [&name](const auto &given) { return given.first == name; });
}

QString CliOptions::value(const QString &name) const
{
    const QStringList all = values(name);
    return all.isEmpty() ? QString() : all.last();
}

QStringList CliOptions::values(const QString &name) const
{
    QStringList all;
    for (const auto &given : m_given) {
        if (given.first == name)
            all.append(given.second);
    }
    return all;
}

QString CliOptions::usage()
{
    QString text = QStringLiteral("Usage: orvanasync-cli <command> [options]\n"
                                  "\n"
                                  "Copies a music library to a music server's share and asks the server\n"
                                  "to refresh its media collection.\n"
                                  "\n"
                                  "Commands:\n");
    for (const CommandSpec &spec : commandSpecs()) {
        const QString head = QString::fromLatin1(spec.name) + (*spec.synopsis ? QStringLiteral(" ") : QString()) +
                             QString::fromLatin1(spec.synopsis);
        text += helpEntry(head, QString::fromLatin1(spec.description));
    }
    text += QStringLiteral("\nOptions (they override the stored settings for this run only):\n");
    for (const OptionSpec &spec : optionSpecs()) {
        QString head = QStringLiteral("--") + spec.names.first();
        if (spec.names.size() > 1)
            head = QStringLiteral("-%1, %2").arg(spec.names.at(1), head);
        else
            head = QStringLiteral("    ") + head;
        if (spec.valueName)
            head += QLatin1Char('=') + QString::fromLatin1(spec.valueName);
        QString description = QString::fromUtf8(spec.description);
        if (spec.commands != ForEvery)
            description += QStringLiteral(" [%1]").arg(commandNames(spec.commands));
        text += helpEntry(head, description);
    }
    text += QStringLiteral(
        "\nA value may follow its option as the next word or after \"=\"; \"--\" ends the options.\n"
        "\n"
        "--json: sync prints one object at the end: \"tracks\" (processed, copied, failed,\n"
        "copyProtected), \"albumCovers\" (processed, copied, missing), \"errors\" (a title and\n"
        "a count each), \"refresh\" (\"succeeded\", \"failed\", \"no answer\", \"not sent\"),\n"
        "\"dryRun\" and \"exitStatus\"; playlists prints an array of {\"id\", \"name\", \"tracks\"}.\n"
        "Without --json, playlists prints ID, track count and name separated by tabs, with\n"
        "tab, line break and backslash in names written \\t, \\n, \\r and \\\\.\n"
        "\n"
        "verify prints one line per problem, its kind first, then its values (tabs between,\n"
        "escaped as for playlists): missing-song ID PATH TITLE, wrong-size ID PATH LISTED FOUND,\n"
        "missing-cover ALBUM-ID PATH, orphan PATH, dangling-playlist-entry PLAYLIST-ID TRACK-ID\n"
        "NAME, not-on-share ID TITLE LOCATION (with --source), foreign-location ID LOCATION,\n"
        "missing-artwork-file PATH; then a summary. Exit status 0: consistent, 1: problems\n"
        "found, 2: could not check (no library file, a description file that cannot be read).\n"
        "\n"
        "servers prints one server a line: name, first IPv4 address and port, separated by\n"
        "tabs (escaped as for playlists). sync without --server or --server-name uses the\n"
        "stored server name when that server is found on the network, else the stored address.\n"
        "\n"
        "The share password: --password-file, else ORVANASYNC_PASSWORD, else the one stored\n"
        "for the run's server and user (else for the stored ones) in the desktop's keyring\n"
        "(Secret Service), or in the settings file where no keyring runs. A password found in\n"
        "the settings file moves into the keyring at its first use.\n"
        "\n"
        "Exit status: 0 success, 1 completed with errors (or the refresh failed; servers:\n"
        "server discovery is not available), 2 could not run (bad options, no music source,\n"
        "mount failure, a refused run, no server of the name given by --server-name).\n"
        "\n"
        "Settings (orvanasync-cli config; the file is ~/.config/OrvanaSync/OrvanaSync.conf):\n");
    for (const auto &[key, description] : ConfigCommand::keyDescriptions())
        text += helpEntry(key, description);
    return text;
}

CliOptions CliOptions::parse(const QStringList &arguments)
{
    CliOptions options;
    auto fail = [&options](const QString &error) {
        options.m_error = error;
        options.m_command = Command::None;
        return options;
    };
    for (const QString &word : arguments) {
        if (word == QLatin1String("--"))
            break;
        // Said before anything else, and without echoing the password.
        if (word == QLatin1String("--password") || word.startsWith(QLatin1String("--password=")))
            return fail(QStringLiteral("a password is never given on the command line: use --password-file FILE or "
                                       "the environment variable ORVANASYNC_PASSWORD"));
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const OptionSpec &spec : optionSpecs()) {
        QCommandLineOption option(spec.names, QString::fromUtf8(spec.description));
        if (spec.valueName)
            option.setValueName(QString::fromLatin1(spec.valueName));
        parser.addOption(option);
    }
    const bool parsed = parser.parse(QStringList{QStringLiteral("orvanasync-cli")} + arguments);
    if (parser.isSet(QStringLiteral("help")) || arguments.isEmpty()) {
        options.m_command = Command::Help;
        return options;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        options.m_command = Command::Version;
        return options;
    }
    if (!parser.unknownOptionNames().isEmpty())
        return fail(unknownOptionError(parser.unknownOptionNames().first()));
    if (const QString missing = missingValueBefore(arguments); !missing.isNull())
        return fail(missing);
    if (!parsed)
        return fail(parser.errorText());

    QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return fail(QStringLiteral("no command given (orvanasync-cli --help lists them)"));
    const QString commandName = words.takeFirst();
    const CommandSpec *command = nullptr;
    QStringList names;
    for (const CommandSpec &spec : commandSpecs()) {
        names.append(QString::fromLatin1(spec.name));
        if (commandName == QLatin1String(spec.name))
            command = &spec;
    }
    if (!command) {
        QString error = QStringLiteral("unknown command %1").arg(commandName);
        if (const QString guess = nearest(commandName, names); !guess.isNull())
            error += QStringLiteral("; did you mean %1?").arg(guess);
        return fail(error + QStringLiteral(" (the commands are %1)").arg(names.join(QStringLiteral(", "))));
    }
    if (command->command != Command::Config && command->command != Command::Password && !words.isEmpty())
        return fail(QStringLiteral("%1 takes no arguments, but was given %2").arg(commandName, words.first()));

    for (const QString &name : parser.optionNames()) {
        const OptionSpec *spec = findOption(name);
        if (!(spec->commands & commandBit(*command)))
            return fail(QStringLiteral("--%1 is an option of the %2 command").arg(spec->names.first(),
                                                                                  commandNames(spec->commands)));
    }
    // optionNames() lists an option once per appearance, in order.
    QHash<QString, qsizetype> seen;
    for (const QString &name : parser.optionNames()) {
        const OptionSpec *spec = findOption(name);
        const QString longName = spec->names.first();
        const QStringList values = parser.values(longName);
        const qsizetype index = seen[longName]++;
        options.m_given.append({longName, spec->valueName && index < values.size() ? values.at(index) : QString()});
    }

    if (options.isSet(QStringLiteral("entire-library")) && options.isSet(QStringLiteral("selected-playlists")))
        return fail(QStringLiteral("--entire-library and --selected-playlists exclude each other"));
    if (options.isSet(QStringLiteral("server")) && options.isSet(QStringLiteral("server-name")))
        return fail(QStringLiteral("--server and --server-name exclude each other"));
    if (options.isSet(QStringLiteral("server-name")) && options.value(QStringLiteral("server-name")).isEmpty())
        return fail(QStringLiteral("--server-name takes the name a server announces"));
    if (options.isSet(QStringLiteral("wait"))) {
        bool ok = false;
        const double seconds = options.value(QStringLiteral("wait")).toDouble(&ok);
        if (!ok || !(seconds >= 0) || seconds > 3600)
            return fail(QStringLiteral("--wait takes a number of seconds from 0 to 3600, not %1")
                            .arg(options.value(QStringLiteral("wait"))));
        options.m_waitMs = int(seconds * 1000);
    }
    if (options.isSet(QStringLiteral("quiet")) && options.isSet(QStringLiteral("verbose")))
        return fail(QStringLiteral("--quiet and --verbose exclude each other"));
    for (const QString &map : options.values(QStringLiteral("path-map"))) {
        if (map.indexOf(QLatin1Char('=')) <= 0)
            return fail(QStringLiteral("--path-map takes FROM=TO, not %1").arg(map));
    }
    if (options.isSet(QStringLiteral("library-id")) && !isSafeLibraryId(options.value(QStringLiteral("library-id"))))
        return fail(QStringLiteral("--library-id must be a non-empty name without slashes"));

    options.m_command = command->command;
    options.m_arguments = words;
    options.m_source = options.value(QStringLiteral("source"));
    options.m_pathMaps = options.values(QStringLiteral("path-map"));
    options.m_server = options.value(QStringLiteral("server"));
    options.m_serverName = options.value(QStringLiteral("server-name"));
    options.m_userName = options.value(QStringLiteral("user"));
    options.m_passwordFile = options.value(QStringLiteral("password-file"));
    options.m_libraryName = options.value(QStringLiteral("library-name"));
    options.m_libraryId = options.value(QStringLiteral("library-id"));
    if (options.isSet(QStringLiteral("entire-library")))
        options.m_entireLibrary = true;
    else if (options.isSet(QStringLiteral("selected-playlists")))
        options.m_entireLibrary = false;
    if (options.isSet(QStringLiteral("playlists")))
        options.m_playlists = options.value(QStringLiteral("playlists")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    options.m_shareFolder = options.value(QStringLiteral("share-folder"));
    options.m_localhostSharePath = options.isSet(QStringLiteral("localhost-share-path"));
    options.m_settingsFile = options.value(QStringLiteral("settings"));
    options.m_dryRun = options.isSet(QStringLiteral("dry-run"));
    options.m_allowEmpty = options.isSet(QStringLiteral("allow-empty"));
    options.m_json = options.isSet(QStringLiteral("json"));
    if (options.isSet(QStringLiteral("quiet")))
        options.m_verbosity = Verbosity::Quiet;
    else if (options.isSet(QStringLiteral("verbose")))
        options.m_verbosity = Verbosity::Verbose;
    return options;
}

#include "cli/CliOptions.h"

#include <QHash>

namespace {

enum class Takes { Nothing, Value };

struct OptionSpec {
    Takes takes;
    bool forSync; // false: also valid for "playlists"
};

const QHash<QString, OptionSpec> &optionSpecs()
{
    static const QHash<QString, OptionSpec> specs = {
        {QStringLiteral("--source"), {Takes::Value, false}},
        {QStringLiteral("--path-map"), {Takes::Value, false}},
        {QStringLiteral("--settings"), {Takes::Value, false}},
        {QStringLiteral("--server"), {Takes::Value, true}},
        {QStringLiteral("--user"), {Takes::Value, true}},
        {QStringLiteral("--password-file"), {Takes::Value, true}},
        {QStringLiteral("--library-name"), {Takes::Value, true}},
        {QStringLiteral("--library-id"), {Takes::Value, true}},
        {QStringLiteral("--entire-library"), {Takes::Nothing, true}},
        {QStringLiteral("--selected-playlists"), {Takes::Nothing, true}},
        {QStringLiteral("--playlists"), {Takes::Value, true}},
        {QStringLiteral("--share-folder"), {Takes::Value, true}},
        {QStringLiteral("--localhost-share-path"), {Takes::Nothing, true}},
        {QStringLiteral("--dry-run"), {Takes::Nothing, true}},
        {QStringLiteral("--allow-empty"), {Takes::Nothing, true}},
    };
    return specs;
}

// A library identifier names a file in the share's Library folder.
bool isSafeLibraryId(const QString &id)
{
    return !id.isEmpty() && id != QLatin1String(".") && id != QLatin1String("..") && !id.contains(QLatin1Char('/')) &&
           !id.contains(QLatin1Char('\\')) && !id.contains(QChar(0));
}

} // namespace

const char *CliOptions::usage()
{
    return "Usage: orvanasync-cli <command> [options]\n"
           "\n"
           "Copies a music library to a music server's share and asks the server\n"
           "to refresh its media collection.\n"
           "\n"
           "Commands:\n"
           "  sync         run one synchronisation\n"
           "  playlists    list the playlists of the music source (ID, tracks, name)\n"
           "\n"
           "Options (they override the stored settings for this run only):\n"
           "  --source PATH            music source: a library export file or a music folder\n"
           "  --path-map FROM=TO       map locations starting with FROM to TO (repeatable)\n"
           "  --server ADDRESS         server host name or IPv4 address\n"
           "  --user NAME              share user name\n"
           "  --password-file FILE     read the share password from FILE's first line\n"
           "                           (or set ORVANASYNC_PASSWORD; never on the command line)\n"
           "  --library-name NAME      library name shown by the server\n"
           "  --library-id ID          library identifier (names the library file)\n"
           "  --entire-library         sync the whole library\n"
           "  --selected-playlists     sync the ticked playlists only\n"
           "  --playlists ID[,ID...]   the ticked playlists, by persistent ID\n"
           "  --share-folder DIR       use DIR as the mounted share (no mount)\n"
           "  --localhost-share-path   write share paths as \\\\127.0.0.1\\OrvanaMusic\n"
           "  --settings FILE          use this settings file instead of the user's\n"
           "  --dry-run                say what would be copied and written; change nothing\n"
           "  --allow-empty            publish a library with no tracks even where the\n"
           "                           share's library file lists tracks (refused otherwise)\n"
           "  --version                print the version and exit\n"
           "  --help                   print this help and exit\n"
           "\n"
           "Exit status: 0 success, 1 completed with errors (or the refresh failed),\n"
           "2 could not run (bad options, no music source, mount failure).\n";
}

CliOptions CliOptions::parse(const QStringList &arguments)
{
    CliOptions options;
    if (arguments.contains(QStringLiteral("--help")) || arguments.isEmpty()) {
        options.m_command = Command::Help;
        return options;
    }
    if (arguments.contains(QStringLiteral("--version"))) {
        options.m_command = Command::Version;
        return options;
    }
    const QString &command = arguments.first();
    Command chosen = Command::None;
    if (command == QLatin1String("sync"))
        chosen = Command::Sync;
    else if (command == QLatin1String("playlists"))
        chosen = Command::Playlists;
    else {
        options.m_error = QStringLiteral("unknown command %1").arg(command);
        return options;
    }

    auto fail = [&options](const QString &error) {
        options.m_error = error;
        options.m_command = Command::None;
        return options;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        if (option == QLatin1String("--password") || option.startsWith(QLatin1String("--password=")))
            return fail(QStringLiteral("a password is never given on the command line: use --password-file FILE or "
                                       "the environment variable ORVANASYNC_PASSWORD"));
        const auto spec = optionSpecs().constFind(option);
        if (spec == optionSpecs().constEnd())
            return fail(QStringLiteral("unknown option %1").arg(option));
        if (spec->forSync && chosen != Command::Sync)
            return fail(QStringLiteral("%1 is an option of the sync command").arg(option));
        QString value;
        if (spec->takes == Takes::Value) {
            if (i + 1 >= arguments.size())
                return fail(QStringLiteral("%1 needs a value").arg(option));
            value = arguments.at(++i);
        }
        if (option == QLatin1String("--source"))
            options.m_source = value;
        else if (option == QLatin1String("--path-map")) {
            if (value.indexOf(QLatin1Char('=')) <= 0)
                return fail(QStringLiteral("--path-map takes FROM=TO"));
            options.m_pathMaps.append(value);
        } else if (option == QLatin1String("--settings"))
            options.m_settingsFile = value;
        else if (option == QLatin1String("--server"))
            options.m_server = value;
        else if (option == QLatin1String("--user"))
            options.m_userName = value;
        else if (option == QLatin1String("--password-file"))
            options.m_passwordFile = value;
        else if (option == QLatin1String("--library-name"))
            options.m_libraryName = value;
        else if (option == QLatin1String("--library-id")) {
            if (!isSafeLibraryId(value))
                return fail(QStringLiteral("--library-id must be a non-empty name without slashes"));
            options.m_libraryId = value;
        } else if (option == QLatin1String("--entire-library")) {
            if (options.m_entireLibrary == false)
                return fail(QStringLiteral("--entire-library and --selected-playlists exclude each other"));
            options.m_entireLibrary = true;
        } else if (option == QLatin1String("--selected-playlists")) {
            if (options.m_entireLibrary == true)
                return fail(QStringLiteral("--entire-library and --selected-playlists exclude each other"));
            options.m_entireLibrary = false;
        } else if (option == QLatin1String("--playlists"))
            options.m_playlists = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (option == QLatin1String("--share-folder"))
            options.m_shareFolder = value;
        else if (option == QLatin1String("--localhost-share-path"))
            options.m_localhostSharePath = true;
        else if (option == QLatin1String("--dry-run"))
            options.m_dryRun = true;
        else if (option == QLatin1String("--allow-empty"))
            options.m_allowEmpty = true;
    }
    options.m_command = chosen;
    return options;
}

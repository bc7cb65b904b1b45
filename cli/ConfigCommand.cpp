#include "cli/ConfigCommand.h"

#include "app/SelectedPlaylistsArchive.h"
#include "app/SettingsStore.h"
#include "app/SharePasswordStore.h"
#include "cli/PasswordCommand.h"
#include "platform/ControlCharacters.h"
#include "platform/HomeFolder.h"
#include "share/SystemMountService.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <sys/stat.h>

namespace {

enum class KeyType { Text, Path, Boolean, Password, MountMethod, Playlists };

struct KeySpec {
    const QString &key;
    KeyType type;
    const char *description;
};

const QList<KeySpec> &keySpecs()
{
    static const QList<KeySpec> specs = {
        {SettingsStore::MusicSourceKey, KeyType::Path,
         "library export file or music folder (default: the first export file in the music folder, else that "
         "folder)"},
        {SettingsStore::MusicSourcePathMapKey, KeyType::Text,
         "\"exported prefix=local folder\", one a line: where the export's locations are here"},
        {SettingsStore::MusicServerIPAddressKey, KeyType::Text, "server host name or IPv4 address"},
        {SettingsStore::MusicServerNameKey, KeyType::Text, "the chosen discovered server's name"},
        {SettingsStore::SelectByIPAddressKey, KeyType::Boolean, "true: use MusicServerIPAddress"},
        {SettingsStore::MusicServerUserNameKey, KeyType::Text, "share user name"},
        {SettingsStore::MusicServerPasswordKey, KeyType::Password,
         "share password (set reads it from standard input; never shown; kept in the desktop's keyring where one "
         "runs, see password set)"},
        {SettingsStore::ITunesLibraryNameKey, KeyType::Text, "library name shown by the server"},
        {SettingsStore::iTunesGUIDKey, KeyType::Text, "library identifier (names the library file on the share)"},
        {SettingsStore::SyncEntireLibraryKey, KeyType::Boolean, "true: the whole library, false: the ticked playlists"},
        {SettingsStore::SelectedPlaylistsKey, KeyType::Playlists,
         "the ticked playlists' IDs (set in the window, or per run with --playlists)"},
        {SettingsStore::SavePathEqualLocalHostKey, KeyType::Boolean,
         "true: write share paths as \\\\127.0.0.1\\OrvanaMusic"},
        {SettingsStore::ShareFolderKey, KeyType::Path, "a folder used as the mounted share (no mount)"},
        {SettingsStore::MountMethodKey, KeyType::MountMethod, "auto, gvfs or cifs"},
        {SettingsStore::VolumesFolderKey, KeyType::Path, "where cifs mounts the share (default /mnt)"},
    };
    return specs;
}

const KeySpec *findKey(const QString &key)
{
    for (const KeySpec &spec : keySpecs()) {
        if (spec.key == key)
            return &spec;
    }
    return nullptr;
}

QString absolutePath(const QString &path)
{
    if (path.trimmed().isEmpty())
        return path;
    return QDir::cleanPath(QDir::current().absoluteFilePath(withHomeFolder(path)));
}

std::optional<bool> parseBoolean(const QString &text)
{
    const QString lower = text.trimmed().toLower();
    if (lower == u"true" || lower == u"yes" || lower == u"1" || lower == u"on")
        return true;
    if (lower == u"false" || lower == u"no" || lower == u"0" || lower == u"off")
        return false;
    return std::nullopt;
}

QString shown(const KeySpec &spec, const QVariant &value)
{
    switch (spec.type) {
    case KeyType::Password:
        return value.toString().isEmpty() ? QString() : QStringLiteral("(set)");
    case KeyType::Boolean:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case KeyType::Playlists: {
        QStringList ids = SelectedPlaylistsArchive::restoreIds(value.toByteArray()).values();
        ids.sort();
        return ids.join(QLatin1Char(','));
    }
    case KeyType::Text:
    case KeyType::Path:
    case KeyType::MountMethod:
        break;
    }
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QVariantList)
        return value.toStringList().join(QLatin1Char('\n'));
    return value.toString();
}

QStringList keyNames()
{
    QStringList names;
    for (const KeySpec &spec : keySpecs())
        names.append(spec.key);
    return names;
}

} // namespace

ConfigCommand::ConfigCommand(SettingsStore &settings, FILE *out, FILE *err, FILE *in)
    : m_settings(settings), m_out(out), m_err(err), m_in(in)
{
}

QList<std::pair<QString, QString>> ConfigCommand::keyDescriptions()
{
    QList<std::pair<QString, QString>> descriptions;
    for (const KeySpec &spec : keySpecs())
        descriptions.append({spec.key, QString::fromUtf8(spec.description)});
    return descriptions;
}

QString ConfigCommand::readableByOthersWarning(const QString &path, const QString &what)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0 || (info.st_mode & 077) == 0)
        return {};
    return QStringLiteral("warning: %1 %2 can be read by other users: chmod 600 %2").arg(what, path);
}

void ConfigCommand::error(const QString &message)
{
    std::fprintf(m_err, "orvanasync-cli: %s\n", ControlCharacters::escaped(message).toLocal8Bit().constData());
    std::fflush(m_err);
}

void ConfigCommand::output(const QString &line)
{
    // A list value is one line an item; each line is printed escaped.
    QByteArray bytes;
    for (const QString &part : line.split(QLatin1Char('\n')))
        bytes += ControlCharacters::escaped(part).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fflush(m_out);
}

int ConfigCommand::run(const QStringList &arguments)
{
    if (const QString warning = readableByOthersWarning(m_settings.fileName(), QStringLiteral("the settings file"));
        !warning.isNull())
        error(warning);
    const QString action = arguments.value(0);
    const auto wants = [&](qsizetype count) {
        if (arguments.size() - 1 == count)
            return true;
        error(QStringLiteral("config %1 takes %2 (orvanasync-cli --help shows the forms)")
                  .arg(action, count == 0 ? QStringLiteral("nothing more") : count == 1 ? QStringLiteral("a KEY")
                                                                                         : QStringLiteral("KEY VALUE")));
        return false;
    };
    if (action == u"list")
        return wants(0) ? list() : 2;
    if (action == u"get")
        return wants(1) ? get(arguments.at(1)) : 2;
    if (action == u"unset")
        return wants(1) ? unset(arguments.at(1)) : 2;
    if (action == u"set") {
        if (arguments.size() < 2 || arguments.size() > 3) {
            error(QStringLiteral("config set takes KEY VALUE"));
            return 2;
        }
        return set(arguments.at(1), arguments.mid(2));
    }
    error(action.isEmpty() ? QStringLiteral("config needs list, get KEY, set KEY VALUE or unset KEY")
                           : QStringLiteral("unknown config action %1: use list, get, set or unset").arg(action));
    return 2;
}

int ConfigCommand::list()
{
    for (const KeySpec &spec : keySpecs()) {
        const QVariant value = m_settings.value(spec.key);
        if (!value.isValid())
            continue;
        const QString text = shown(spec, value).replace(QLatin1Char('\n'), QLatin1String("\\n"));
        const bool stored = m_settings.isStored(spec.key);
        output(spec.key + QLatin1Char('=') + text + (stored ? QString() : QStringLiteral(" (default)")));
    }
    return 0;
}

int ConfigCommand::get(const QString &key)
{
    const KeySpec *spec = findKey(key);
    if (!spec) {
        error(QStringLiteral("unknown key %1 (orvanasync-cli --help lists the keys)").arg(key));
        return 2;
    }
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return 1;
    output(shown(*spec, value));
    return 0;
}

int ConfigCommand::set(const QString &key, const QStringList &values)
{
    const KeySpec *spec = findKey(key);
    if (!spec) {
        error(QStringLiteral("unknown key %1 (the keys are %2)").arg(key, keyNames().join(QStringLiteral(", "))));
        return 2;
    }
    QVariant value;
    switch (spec->type) {
    case KeyType::Password: {
        if (!values.isEmpty()) {
            error(QStringLiteral("a password is never given on the command line: type it on standard input, as in "
                                 "orvanasync-cli config set MusicServerPassword < FILE"));
            return 2;
        }
        QString typed = PasswordCommand::readSecretLine(m_in, m_err, QStringLiteral("Share password: "));
        if (m_keyring) {
            SharePasswordStore store(m_settings, m_keyring);
            const bool saved = store.save(SharePasswordStore::storedServer(m_settings),
                                          SharePasswordStore::storedUser(m_settings), typed);
            typed.fill(QLatin1Char('\0'));
            if (!saved) {
                error(store.error());
                return 2;
            }
            if (!store.notice().isNull())
                error(QStringLiteral("notice: ") + store.notice());
            return 0;
        }
        value = typed.isNull() ? QStringLiteral("") : typed;
        typed.fill(QLatin1Char('\0'));
        break;
    }
    case KeyType::Boolean: {
        const std::optional<bool> flag = parseBoolean(values.value(0));
        if (values.isEmpty() || !flag) {
            error(QStringLiteral("%1 takes true or false").arg(key));
            return 2;
        }
        value = *flag;
        break;
    }
    case KeyType::MountMethod:
        if (values.isEmpty() || !SystemMountService::isMethodName(values.at(0))) {
            error(QStringLiteral("MountMethod takes auto, gvfs or cifs, not %1").arg(values.value(0)));
            return 2;
        }
        value = values.at(0);
        break;
    case KeyType::Playlists:
        error(QStringLiteral("SelectedPlaylists is ticked in the window; for one run give --playlists ID[,ID...]"));
        return 2;
    case KeyType::Text:
    case KeyType::Path:
        if (values.isEmpty()) {
            error(QStringLiteral("config set %1 needs a VALUE").arg(key));
            return 2;
        }
        // Runs start in other folders (a timer starts them in the home
        // folder): a relative path is kept as the absolute one it meant now.
        value = spec->type == KeyType::Path ? absolutePath(values.at(0)) : values.at(0);
        break;
    }
    if (!m_settings.setValue(key, value)) {
        error(QStringLiteral("cannot write the settings file %1: check that its folder exists and is yours")
                  .arg(m_settings.fileName()));
        return 2;
    }
    return 0;
}

int ConfigCommand::unset(const QString &key)
{
    if (!findKey(key)) {
        error(QStringLiteral("unknown key %1 (orvanasync-cli --help lists the keys)").arg(key));
        return 2;
    }
    if (key == SettingsStore::MusicServerPasswordKey && m_keyring) {
        SharePasswordStore store(m_settings, m_keyring);
        if (!store.clear(SharePasswordStore::storedServer(m_settings), SharePasswordStore::storedUser(m_settings))) {
            error(store.error());
            return 2;
        }
        return 0;
    }
    if (!m_settings.isStored(key))
        return 0;
    if (!m_settings.remove(key)) {
        error(QStringLiteral("cannot write the settings file %1").arg(m_settings.fileName()));
        return 2;
    }
    return 0;
}

#include "app/SettingsStore.h"

#include "app/DefaultSettingsResource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QString SettingsStore::SelectedPlaylistsKey = QStringLiteral("SelectedPlaylists");
const QString SettingsStore::iTunesGUIDKey = QStringLiteral("iTunesGUID");
const QString SettingsStore::MusicServerNameKey = QStringLiteral("MusicServerName");
const QString SettingsStore::MusicServerIPAddressKey = QStringLiteral("MusicServerIPAddress");
const QString SettingsStore::SelectByIPAddressKey = QStringLiteral("SelectByIPAddress");
const QString SettingsStore::MusicServerUserNameKey = QStringLiteral("MusicServerUserName");
const QString SettingsStore::MusicServerPasswordKey = QStringLiteral("MusicServerPassword");
const QString SettingsStore::ITunesLibraryNameKey = QStringLiteral("ITunesLibraryName");
const QString SettingsStore::SavePathEqualLocalHostKey = QStringLiteral("SavePathEqualLocalHost");
const QString SettingsStore::SyncEntireLibraryKey = QStringLiteral("SyncEntireLibrary");
const QString SettingsStore::ShareFolderKey = QStringLiteral("ShareFolder");
const QString SettingsStore::MusicSourceKey = QStringLiteral("MusicSource");
const QString SettingsStore::MusicSourcePathMapKey = QStringLiteral("MusicSourcePathMap");
const QString SettingsStore::MountMethodKey = QStringLiteral("MountMethod");
const QString SettingsStore::VolumesFolderKey = QStringLiteral("VolumesFolder");

namespace {

// Creates the missing folders of path, each readable by its user alone
// whatever the umask; existing folders are left as they are.
bool makePrivateFolders(const QString &path)
{
    const QStringList parts = QDir::cleanPath(path).split(u'/', Qt::SkipEmptyParts);
    QString walked = path.startsWith(u'/') ? QStringLiteral("") : QStringLiteral(".");
    for (const QString &part : parts) {
        walked += u'/' + part;
        const QByteArray native = QFile::encodeName(walked);
        if (::mkdir(native.constData(), 0700) == 0) {
            ::chmod(native.constData(), 0700);
            continue;
        }
        struct stat info;
        if (errno != EEXIST || ::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
            return false;
    }
    return true;
}

// Makes sure the file exists with mode 0600 before QSettings writes it: its
// atomic save keeps the mode of the file it replaces. A symbolic link in the
// file's place is refused: its target would be changed and overwritten.
bool preparePrivateFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!makePrivateFolders(info.absolutePath()))
        return false;
    const QByteArray path = QFile::encodeName(fileName);
    const int descriptor = ::open(path.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    struct stat opened;
    const bool restricted =
        ::fstat(descriptor, &opened) == 0 && S_ISREG(opened.st_mode) && ::fchmod(descriptor, 0600) == 0;
    ::close(descriptor);
    return restricted;
}

} // namespace

QString SettingsStore::defaultFileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/OrvanaSync/OrvanaSync.conf");
}

QVariantMap SettingsStore::builtInDefaults()
{
    // The "default" resource. A first run syncs the whole library: with
    // nothing ticked yet, the selected-playlists mode would send nothing.
    return DefaultSettingsResource::contents();
}

SettingsStore::SettingsStore(const QString &fileName)
    : m_fileName(fileName), m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

void SettingsStore::registerDefaults(const QVariantMap &defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_defaults.insert(it.key(), it.value());
}

QVariant SettingsStore::value(const QString &key) const
{
    if (m_settings->contains(key))
        return m_settings->value(key);
    return m_defaults.value(key);
}

QString SettingsStore::string(const QString &key) const
{
    const QVariant stored = value(key);
    return stored.isValid() ? stored.toString() : QString();
}

bool SettingsStore::isStored(const QString &key) const
{
    return m_settings->contains(key);
}

bool SettingsStore::boolean(const QString &key) const
{
    return value(key).toBool();
}

QStringList SettingsStore::stringList(const QString &key) const
{
    return value(key).toStringList();
}

void SettingsStore::reload()
{
    m_settings->sync();
}

bool SettingsStore::writeBack()
{
    if (!preparePrivateFile(m_fileName))
        return false;
    m_settings->sync();
    // Also when the file was there before with a wider mode (never through
    // a link: preparePrivateFile refused those).
    if (!preparePrivateFile(m_fileName))
        return false;
    return m_settings->status() == QSettings::NoError;
}

bool SettingsStore::setValue(const QString &key, const QVariant &value)
{
    // Restrict the file before the value lands in it.
    if (!preparePrivateFile(m_fileName))
        return false;
    m_settings->setValue(key, value);
    return writeBack();
}

bool SettingsStore::remove(const QString &key)
{
    m_settings->remove(key);
    return writeBack();
}

#include "app/Settings.h"

#include "app/SelectedPlaylistsArchive.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

QString Settings::defaultDocumentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

Settings::Settings(const QString &documentsFolder) : m_documentsFolder(documentsFolder) {}

QString Settings::getConfigPath() const
{
    return m_documentsFolder + QStringLiteral("/config.plist");
}

bool Settings::loadConfig()
{
    m_config.clear();
    const QString path = getConfigPath();
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return false;
    if (info.size() > KeyedUnarchiver::MaximumArchiveSize) {
        systemLog(QStringLiteral("The legacy settings file %1 is too large to be settings; it is left in place").arg(path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        systemLog(QStringLiteral("The legacy settings file %1 cannot be read (%2); it is left in place")
                      .arg(path, file.errorString()));
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();

    KeyedUnarchiver unarchiver;
    SelectedPlaylistsArchive::registerPlaylistClasses(unarchiver);
    ErrorRecord error;
    const std::optional<QVariant> root = unarchiver.unarchive(data, &error);
    if (!root || root->metaType() != QMetaType::fromType<QVariantMap>()) {
        systemLog(QStringLiteral("The legacy settings file %1 holds no settings (%2); it is left in place")
                      .arg(path, root ? QStringLiteral("its root is not a map") : error.localizedDescription()));
        return false;
    }
    m_config = root->toMap();
    // A failure to delete is ignored: the settings have been read.
    QFile::remove(path);
    return true;
}

QVariant Settings::getConfigSetting(const QString &key) const
{
    return m_config.value(key);
}

void Settings::setConfigSetting(const QString &key, const QVariant &value)
{
    if (value.isValid())
        m_config.insert(key, value);
    else
        m_config.remove(key);
}

bool Settings::saveConfig() const
{
    const QByteArray data = KeyedArchiver::archivedData(m_config);
    if (data.isEmpty() || !QDir().mkpath(m_documentsFolder))
        return false;
    QSaveFile file(getConfigPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return false;
    return file.commit();
}

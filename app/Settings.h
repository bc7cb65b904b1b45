#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

// The settings file of earlier versions: "config.plist" in the user's
// Documents folder, a keyed archive whose root maps setting names to
// values. Read once at start-up and consumed (see loadConfig).
class Settings {
public:
    // The user's first Documents folder.
    static QString defaultDocumentsFolder();

    explicit Settings(const QString &documentsFolder = defaultDocumentsFolder());

    // <documents folder>/config.plist
    QString getConfigPath() const;
    // True when the file existed and was read into config(); it is then
    // deleted. A file that cannot be read, or holds no settings map at all,
    // is left in place with one system-log line and false is answered, so
    // nothing the user had is lost.
    bool loadConfig();

    const QVariantMap &config() const { return m_config; }
    // The value stored under key, or an invalid QVariant.
    QVariant getConfigSetting(const QString &key) const;
    // An invalid value removes the key.
    void setConfigSetting(const QString &key, const QVariant &value);
    // Writes config() as a keyed archive to getConfigPath(), atomically.
    bool saveConfig() const;

private:
    QString m_documentsFolder;
    QVariantMap m_config;
};

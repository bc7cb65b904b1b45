#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

// The per-user settings store: a QSettings file that only its user can read
// (it holds the share password), with fallback values registered at start.
// Main thread only.
class SettingsStore {
public:
    // The keys of the settings, written as the stored files name them.
    static const QString SelectedPlaylistsKey;      // data: keyed archive of the ticked playlists
    static const QString iTunesGUIDKey;             // string
    static const QString MusicServerNameKey;        // string
    static const QString MusicServerIPAddressKey;   // string
    static const QString SelectByIPAddressKey;      // boolean
    static const QString MusicServerUserNameKey;    // string
    static const QString MusicServerPasswordKey;    // string
    static const QString ITunesLibraryNameKey;      // string
    static const QString SavePathEqualLocalHostKey; // boolean
    static const QString SyncEntireLibraryKey;      // boolean
    // Ours: a folder used as the mounted share, with no mount at all.
    static const QString ShareFolderKey;            // string
    // Ours: the music source (export file or folder) and its path remapping.
    static const QString MusicSourceKey;            // string
    static const QString MusicSourcePathMapKey;     // list of "exported prefix=local folder"
    // Ours: "auto", "gvfs" or "cifs", and the folder kernel CIFS mounts go in.
    static const QString MountMethodKey;            // string
    static const QString VolumesFolderKey;          // string

    // $XDG_CONFIG_HOME/OrvanaSync/OrvanaSync.conf (~/.config/... without it).
    static QString defaultFileName();
    // The fallback values the programs register when nothing is stored: the
    // "default" property-list resource.
    static QVariantMap builtInDefaults();

    explicit SettingsStore(const QString &fileName = defaultFileName());

    const QString &fileName() const { return m_fileName; }

    // Fallback values for keys with no stored value.
    void registerDefaults(const QVariantMap &defaults);

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant value(const QString &key) const;
    // value() as text; null when there is none.
    QString string(const QString &key) const;
    bool boolean(const QString &key) const;
    QStringList stringList(const QString &key) const;
    // Whether the file holds a value of its own for key (not a default).
    bool isStored(const QString &key) const;

    // Stores at once, in a file readable by its user alone. False when the
    // file cannot be written.
    bool setValue(const QString &key, const QVariant &value);
    bool remove(const QString &key);
    // Reads the file again for what other programs stored since (nothing of
    // this store waits to be written: every change is written at once).
    void reload();

private:
    bool writeBack();

    QString m_fileName;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_defaults;
};

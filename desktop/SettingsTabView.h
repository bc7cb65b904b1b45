#pragma once

#include <QStringList>
#include <QVariantMap>
#include <QWidget>

class LoadView;
class OrvanaSyncAppDelegate;
class PlaylistTableView;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class SettingsStore;

// The settings tab: the server choice and address, the share's user name and
// password, the library name, whole library or ticked playlists, the
// playlist picker, and the music source. Every change reaches the delegate
// at once; the stored settings are read at start-up and written at exit.
// Each control's object name is its name ("ovDiscoveredMusicServers",
// "syncLibraryOrPlaylist", ...).
class SettingsTabView : public QWidget {
    Q_OBJECT

public:
    // Tags of the radio group's cells.
    static constexpr int EntireLibraryTag = 1;
    static constexpr int SelectedPlaylistsTag = 0;

    SettingsTabView(OrvanaSyncAppDelegate &delegate, QWidget *parent = nullptr);

    // Fills the controls from the store and the delegate's flags (the
    // password comes from the password rules: setPassword).
    void restoreFields(const SettingsStore &store);
    // Writes what the controls hold and differs from what restoreFields
    // put there: the server name only when a discovered server is chosen,
    // the address, whether the address was chosen, the user name and
    // library name, the two flags, and the music source. The password is
    // not among them: password().
    void saveFields(SettingsStore &store) const;

    // Writes the music source and path map as saveFields does, now: the
    // Load button's load reads them from the store.
    void storeMusicSource(SettingsStore &store);

    QString password() const;
    void setPassword(const QString &password);

    // Shows a rebuilt server choice (entry 0 first) with one entry selected.
    void showServerEntries(const QStringList &entries, int selectedIndex);

    PlaylistTableView *playlistTableView() const { return m_playlistTableView; }
    LoadView *loadView() const { return m_loadView; }

Q_SIGNALS:
    // The Load button of the music source.
    void loadMusicSourcePressed();

private:
    void writeMusicSource(SettingsStore &store) const;
    QWidget *serverBox();
    QWidget *playlistBox();
    QWidget *musicSourceBox();
    void serverChosen(int index);
    // The address field is shown exactly while the delegate selects by address.
    void showAddressField();
    void chooseMusicSourceFile();
    void chooseMusicSourceFolder();
    QString pathMapText() const;
    // What saveFields writes, by key (the music source aside).
    QVariantMap fieldValues() const;

    OrvanaSyncAppDelegate &m_delegate;
    QComboBox *m_ovDiscoveredMusicServers = nullptr;
    QLabel *m_addressLabel = nullptr;
    QLineEdit *m_ovMusicServerIPAddress = nullptr;
    QLineEdit *m_ovMusicServerUserName = nullptr;
    QLineEdit *m_ovMusicServerPassword = nullptr;
    QLineEdit *m_ovITunesLibraryName = nullptr;
    QButtonGroup *m_syncLibraryOrPlaylist = nullptr;
    PlaylistTableView *m_playlistTableView = nullptr;
    LoadView *m_loadView = nullptr;
    QLineEdit *m_musicSource = nullptr;
    QPlainTextEdit *m_musicSourcePathMap = nullptr;
    // What the music-source controls held after restoreFields.
    QString m_restoredMusicSource;
    QString m_restoredPathMap;
    QVariantMap m_restoredFields;
};

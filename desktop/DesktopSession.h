#pragma once

#include "app/OrvanaSyncAppDelegate.h"
#include "app/ShareVerification.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class MainWindow;
class PasswordKeyring;

class QThread;
class RefreshServiceFactory;
class ServiceBrowser;
class SettingsStore;

// One launch of the desktop program: start-up (the legacy settings, the
// stored settings into the window, the library load on its own thread),
// and exit (the settings written back once every thread has ended).
class DesktopSession : public QObject {
    Q_OBJECT

public:
    static constexpr int libraryLoadDelayMs = 500;

    struct Options {
        // Where the legacy "config.plist" is looked for.
        QString documentsFolder;
        // The folder the default music source is searched under.
        QString homePath;
        // The user's music folder (XDG); null: <homePath>/Music.
        QString musicFolder;
        // Null: the real web-service proxy.
        std::shared_ptr<RefreshServiceFactory> refreshServiceFactory;
        // Null: the system's DNS-SD browser.
        std::function<std::unique_ptr<ServiceBrowser>()> makeServiceBrowser;
        // Null: the desktop's Secret Service.
        std::shared_ptr<PasswordKeyring> passwordKeyring;
    };

    DesktopSession(SettingsStore &settings, Options options, QObject *parent = nullptr);
    ~DesktopSession() override;

    OrvanaSyncAppDelegate &delegate() { return m_delegate; }
    MainWindow &window() { return *m_window; }

    // Start-up; the library load follows libraryLoadDelayMs later. The
    // password field is filled by the password rules (a clear-text password
    // of the settings file moves into the keyring), and at exit the field
    // goes back through them.
    void applicationDidFinishLaunching();
    // The start-up's log line, then loadMusicLibrary().
    void initITunes();
    // The Load button: the music source the settings tab holds is loaded
    // again as at start-up (the ticks kept), Sync disabled meanwhile. Not
    // while a run, a load or a check goes on.
    void onLoadMusicSourcePressed();
    // The Sync button: the run starts, unless the library export has been
    // rewritten since the load (another inode, size or time): then it is
    // loaded again first and the run starts when the load has ended.
    void onSyncPressed();
    // The Exit button and the window's close box: the settings are written
    // at once, a run is asked to stop at the next track boundary, and the
    // program ends when the run or the load in progress has ended
    // (terminated()).
    void onExitPressed();
    // Exit's own steps: the log line and the settings.
    void applicationWillTerminate();

    bool libraryLoaded() const { return m_libraryLoaded; }

    // The Verify button: the share is checked against its description files
    // and the loaded library on a thread of its own, the findings going to
    // the log; Sync and Verify are disabled meanwhile. An export rewritten
    // since the load is loaded again first, as for Sync.
    void onVerifyPressed();
    ShareVerification &verification() { return m_verification; }

    // A run that would list no tracks where the server lists songs of this
    // library (a music disk not connected, no ticked playlist) writes
    // nothing and asks first: this box, with "Publish Empty Library" and
    // Cancel (the default); null while none is open.
    QMessageBox *emptyLibraryQuestion() const { return m_emptyLibraryQuestion; }

Q_SIGNALS:
    // The load has ended and Sync is enabled.
    void libraryLoadCompleted();
    // Everything has ended; the program may quit.
    void terminated();

private:
    // What a load started by Sync or Verify goes on with.
    enum class AfterLoad { Nothing, Sync, Verify };

    void migrateOrRegisterDefaults();
    void restorePassword();
    void savePassword();
    // Creates the library model and starts the load thread.
    void loadMusicLibrary();
    bool canLoadAgain() const;
    // Starts a load when the export has been rewritten since the last one
    // (another inode, size or time), `then` following it; false otherwise.
    bool loadAgainIfTheExportChanged(AfterLoad then);
    void loadAgain(const QString &logLine);
    void storeSelectedPlaylists();
    void onLoadiTunesLibrary();
    void onLoadiTunesLibraryComplete();
    void finishWhenIdle();
    void onVerificationFinished(int outcome);
    void askBeforePublishingAnEmptyLibrary(qint64 songsOnShare);

    SettingsStore &m_settings;
    Options m_options;
    OrvanaSyncAppDelegate m_delegate;
    ShareVerification m_verification;
    std::unique_ptr<MainWindow> m_window;
    QTimer m_initITunesTimer;
    QThread *m_loadThread = nullptr;
    // What the start-up found, so that an unchanged password is not stored again.
    QString m_restoredPasswordKey;
    QString m_restoredPassword;
    QPointer<QMessageBox> m_emptyLibraryQuestion;
    // The export file the last load read (null for a folder) and its stamp
    // then.
    QString m_loadedExport;
    QByteArray m_loadedExportStamp;
    AfterLoad m_afterLoad = AfterLoad::Nothing;
    // The ticks the last load restored from the settings.
    QSet<QString> m_restoredTicks;
    bool m_libraryLoaded = false;
    bool m_terminating = false;
    bool m_terminated = false;
};

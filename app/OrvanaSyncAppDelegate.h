#pragma once

#include "app/OVServiceInfo.h"
#include "app/RefreshService.h"
#include "app/ReportQueue.h"
#include "app/ServerDiscovery.h"
#include "app/SyncPage.h"
#include "library/SyncCounters.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <memory>

class LibraryFileReadAhead;
class MusicLibrary;
class Notify;
class SettingsStore;
class ShareRunLock;
class QThread;
class ServiceBrowser;

// The application delegate: the settings values, the library model, the
// sync page, the sync run and the refresh of the server's media
// collection. It holds what the window's controls hold (the server choice,
// the address, user name, password and library name fields, the ticked
// playlists) as plain values, so the command-line program and the window
// drive the same run. Everything runs on the main thread except the sync
// thread's body, onSyncStart().
class OrvanaSyncAppDelegate : public QObject {
    Q_OBJECT

public:
    // The share's fixed name and the server's web-service endpoint.
    static const QString ShareName;        // "OrvanaMusic"
    static constexpr qint32 RefreshMediaType = 16384;
    // Entry 0 of the server choice.
    static const QString SelectByAddressEntry; // "Select server using IP Address"
    static constexpr int mountFailureCompletionDelayMs = 5000;

    explicit OrvanaSyncAppDelegate(SettingsStore &settings, QObject *parent = nullptr);
    ~OrvanaSyncAppDelegate() override;

    SyncPage &syncPage() { return m_page; }
    SettingsStore &settings() { return m_settings; }

    // Reads the settings into the delegate's values (start-up steps 6 to 8:
    // the identifier, the fields, the three flags, and our share folder).
    void restoreSettings();

    // Collaborators.
    void setLibrary(std::shared_ptr<MusicLibrary> library);
    const std::shared_ptr<MusicLibrary> &ml() const { return m_ml; }
    void setRefreshServiceFactory(std::shared_ptr<RefreshServiceFactory> factory);
    RefreshService *webService() const { return m_webService.get(); }

    // What the controls hold.
    // Index of the server choice: 0 = by address, n = the n-th discovered
    // server, -1 = no selection; text = the chosen entry's text.
    void selectServer(int index, const QString &text);
    QMap<QString, OVServiceInfo> &svcBrowserList() { return m_discovery.svcBrowserList(); }

    // Server discovery: browsing from start-up to exit. Without a browser
    // given, the system's (Avahi); when it cannot browse, one log line says
    // so and the address works as before.
    void startBrowsing(std::unique_ptr<ServiceBrowser> browser = {});
    void stopBrowsing();
    ServerDiscovery &discovery() { return m_discovery; }
    // true while the server choice is entry 0: the address field is in use.
    bool selectByIPAddress() const { return m_discovery.selectByIPAddress(); }
    // The user picked an entry of the server choice (-1: none): updates
    // selectByIPAddress() and the server the run uses.
    Q_INVOKABLE void comboBoxSelectionDidChange(int index, const QString &text);
    void setMusicServerIPAddress(const QString &text) { m_musicServerIPAddress = text; }
    void setMusicServerUserName(const QString &text) { m_musicServerUserName = text; }
    void setMusicServerPassword(const QString &text) { m_musicServerPassword = text; }
    void setITunesLibraryName(const QString &text) { m_iTunesLibraryName = text; }
    // The persistent IDs of the ticked playlists.
    void setSelectedPlaylists(const QSet<QString> &persistentIds) { m_selectedPlaylists = persistentIds; }
    // Marks the library's playlists ticked or not, as a run does when it starts.
    void applyPlaylistSelection();

    bool syncEntireMusicLibrary() const { return m_syncEntireMusicLibrary; }
    void setSyncEntireMusicLibrary(bool value) { m_syncEntireMusicLibrary = value; }
    bool useLocalHostAsServerName() const { return m_useLocalHostAsServerName; }
    void setUseLocalHostAsServerName(bool value) { m_useLocalHostAsServerName = value; }
    const QString &iTunesGUID() const { return m_iTunesGUID; }
    // For this launch only: not stored.
    void setITunesGUID(const QString &value) { m_iTunesGUID = value; }
    const QString &syncVersion() const { return m_syncVersion; }
    void setSyncVersion(const QString &value) { m_syncVersion = value; }
    // A folder used as the mounted share, with no mount; null for none.
    const QString &shareFolder() const { return m_shareFolder; }
    // "~/" at the start stands for the home folder (withHomeFolder).
    void setShareFolder(const QString &value);
    // Say what would be copied and written, and change nothing.
    void setDryRun(bool value) { m_dryRun = value; }
    // Refuse a run that would list no tracks while the library file on the
    // share lists some: it ends before anything is written, with
    // emptyLibraryRefused(). Off by default (the window publishes what it is
    // given); the command line turns it on.
    void setRefuseEmptyLibrary(bool value) { m_refuseEmptyLibrary = value; }
    // Whether the run waits, before each copy, until its reports so far are
    // shown (on by default: the window's Stop then acts on the track it
    // shows). Off, the run goes on while they are shown, and a stop takes
    // effect at the track the run has reached (the command line's signals).
    void setWaitForReportsBeforeCopies(bool value) { m_waitForReportsBeforeCopies = value; }
    // What the last dry run found a real run would copy.
    int wouldCopyTracks() const { return m_wouldCopyTracks; }
    int wouldCopyAlbumCovers() const { return m_wouldCopyAlbumCovers; }
    // How long the mount-failure title stays before the totals page.
    void setMountFailureCompletionDelay(int milliseconds) { m_pendingCompletion.setInterval(milliseconds); }

    bool syncInProgress() const { return m_syncInProgress; }
    // Asks the running sync to stop at the next track boundary (the window's
    // Stop, the command line's first SIGINT or SIGTERM): the file being
    // copied is finished, the library file lists what is on the share, the
    // covers and the refresh are left out. A request made between runs is
    // dropped when the next run starts.
    void requestStop();
    // Whether the last run was asked to stop.
    bool stopRequested() const { return m_stopRequested.load(); }
    // Whether an error notification was shown since the last run started.
    bool errorReported() const { return m_errorReported; }
    // The address the run mounts and refreshes: the typed one or the chosen
    // discovered server's first; null for none.
    QString serverAddress() const;
    // Why serverAddress() is empty, for the user: no address typed, or the
    // chosen server not announced now; null when there is an address.
    QString missingServerReason() const;
    // The host of an address as typed: without spaces around it, and out of
    // a share written as smb://host/... or \\host\...; other text as it is.
    static QString hostOfTypedAddress(const QString &typed);
    // Where the share of the last run was found (the mount point).
    const QString &shareRoot() const { return m_shareRoot; }
    // Finds the share as a run does: the share folder, the mounted volume,
    // or a mount of the server's share at address; false when there is none.
    bool findShareRoot(const QString &address);
    // Starts reading the share's library file for the next run on a thread
    // of its own, when the run will find the share without a mount and the
    // library identifier is set: a program that loads the music library just
    // before it syncs (the command line) has it read meanwhile. The run takes
    // what was read only if the file is unchanged by then (see
    // LibraryFileReadAhead); otherwise, and without a read ahead, it reads
    // the file itself.
    void readLibraryFileAhead();
    // The totals of the library model (zeros without one).
    SyncCounters totals() const;

    // The radio choice: tag 1 = entire library, 0 = selected playlists.
    void onSyncLibraryOrPlaylistsPressed(int selectedTag);
    // Starts a run; a press during a run changes nothing.
    void onSyncPressed();
    // Body of the sync thread.
    void onSyncStart();
    // Ends a run (main thread).
    void onSyncComplete();
    // Sends the refresh request (main thread).
    void refreshOrvanaLibrary();

    // The engine's and the loader's reports, shown on this object's thread.
    Q_INVOKABLE void onSyncNotifictionEvent(const Notify &notify);
    // A worker thread (the load): returns once its reports are shown.
    void waitUntilReportsShown();
    // Whether a batch of a worker's reports is being shown (reportsShown()
    // follows it): a view may leave work it need do once until then.
    bool showingReports() const { return m_reports.showingBatch(); }
    // The refresh's outcome: a result, an error or a fault.
    void RefreshMediaCollectionByMediaTypeHandler(const QVariant &value);

Q_SIGNALS:
    // onSyncComplete() has run.
    void syncCompleted();
    // The share could not be mounted; the run has ended.
    void mountFailed(const QString &title);
    // The run ended before writing anything: another run holds the share's
    // lock for this library, or the library identifier cannot name a file.
    void runRefused(const QString &reason);
    // The refresh handler has been called.
    void refreshAnswered(bool succeeded);
    // An error notification of the engine or the loader, by its title.
    void errorNotified(const QString &title);
    // A batch of reports of a worker thread has been shown (a place to
    // flush what they printed).
    void reportsShown();
    // A progress report: activity 4 (loading), 7 (tracks) or 9 (covers),
    // progress items done of maxProgress.
    void progressNotified(int activity, int progress, int maxProgress);
    // The run would have replaced `songsOnShare` songs of the library file
    // at `libraryFile` with none; nothing was written, no refresh sent.
    void emptyLibraryRefused(const QString &libraryFile, qint64 songsOnShare);
    // After every rebuild of the server choice: entries[0] is always
    // "Select server using IP Address"; selectedIndex is the entry the
    // rebuild selected (already applied to the delegate).
    void serverEntriesChanged(const QStringList &entries, int selectedIndex);
    void selectByIPAddressChanged(bool value);

private:
    // The share's folder where a run needs no mount (the share folder, or
    // the share mounted already); empty when a mount is needed, with
    // *unusable set when the one at hand cannot serve.
    QString shareRootWithoutMount(QString *unusable) const;
    static QString libraryFilePath(const QString &shareRoot, const QString &libraryId);
    void prepareWebService(const QString &address);
    void endRunAfterMountFailure(const QString &address);
    bool refusedAsEmpty();
    void endRunRefused(const QString &reason);
    void dryRunStages();
    void logFromSyncThread(const QString &line);

    SettingsStore &m_settings;
    SyncPage m_page;
    std::shared_ptr<MusicLibrary> m_ml;
    std::shared_ptr<RefreshServiceFactory> m_refreshServiceFactory;
    std::unique_ptr<RefreshService> m_webService;

    ServerDiscovery m_discovery;
    int m_serverIndex = 0;
    QString m_serverEntryText;
    QString m_musicServerIPAddress;
    QString m_musicServerUserName;
    QString m_musicServerPassword;
    QString m_iTunesLibraryName;
    QSet<QString> m_selectedPlaylists;

    bool m_syncEntireMusicLibrary = false;
    bool m_useLocalHostAsServerName = false;
    QString m_iTunesGUID;
    QString m_syncVersion;
    QString m_shareFolder;
    bool m_dryRun = false;
    bool m_refuseEmptyLibrary = false;
    bool m_waitForReportsBeforeCopies = true;
    // Written by the sync thread before it hands the completion over.
    int m_wouldCopyTracks = 0;
    int m_wouldCopyAlbumCovers = 0;

    bool m_syncInProgress = false;
    std::atomic<bool> m_stopRequested = false;
    bool m_errorReported = false;
    QString m_shareRoot;
    // Captured on the main thread when Sync is pressed, read by the sync thread.
    QString m_runLibraryName;
    QThread *m_syncThread = nullptr;
    // Held from the first write of a run to its end.
    std::unique_ptr<ShareRunLock> m_runLock;
    // The completion scheduled after a mount failure; stopped when a new
    // run starts, so it can never end that run.
    QTimer m_pendingCompletion;
    ReportQueue m_reports;
    // Handed to the library when the next run starts.
    std::unique_ptr<LibraryFileReadAhead> m_libraryFileReadAhead;
};

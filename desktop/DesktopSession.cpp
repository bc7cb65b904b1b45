#include "desktop/DesktopSession.h"

#include "app/OVWSRefreshServiceFactory.h"
#include "app/SelectedPlaylistsArchive.h"
#include "app/Settings.h"
#include "app/SettingsMigration.h"
#include "app/SettingsStore.h"
#include "app/SharePasswordStore.h"
#include "desktop/LoadView.h"
#include "desktop/MainWindow.h"
#include "desktop/PlaylistTableView.h"
#include "desktop/SettingsTabView.h"
#include "desktop/SyncPageView.h"
#include "discovery/ServiceBrowser.h"
#include "itunes/MusicSourceLocator.h"
#include "itunes/iTunesMusicLibrary.h"
#include "secrets/SecretServiceKeyring.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <sys/stat.h>

#include <utility>

DesktopSession::DesktopSession(SettingsStore &settings, Options options, QObject *parent)
    : QObject(parent),
      m_settings(settings),
      m_options(std::move(options)),
      m_delegate(settings),
      m_verification(m_delegate),
      m_window(std::make_unique<MainWindow>(m_delegate))
{
    m_delegate.setRefreshServiceFactory(m_options.refreshServiceFactory
                                            ? m_options.refreshServiceFactory
                                            : std::make_shared<OVWSRefreshServiceFactory>());
    if (!m_options.passwordKeyring)
        m_options.passwordKeyring = std::make_shared<SecretServiceKeyring>();
    m_initITunesTimer.setSingleShot(true);
    m_initITunesTimer.setInterval(libraryLoadDelayMs);
    connect(&m_initITunesTimer, &QTimer::timeout, this, &DesktopSession::initITunes);
    connect(m_window.get(), &MainWindow::exitRequested, this, &DesktopSession::onExitPressed);
    connect(m_window->syncPageView(), &SyncPageView::syncPressed, this, &DesktopSession::onSyncPressed);
    connect(&m_delegate, &OrvanaSyncAppDelegate::syncCompleted, this, &DesktopSession::finishWhenIdle);
    connect(m_window->syncPageView(), &SyncPageView::verifyPressed, this, &DesktopSession::onVerifyPressed);
    connect(&m_verification, &ShareVerification::finished, this, &DesktopSession::onVerificationFinished);
    connect(m_window->settingsTab(), &SettingsTabView::loadMusicSourcePressed, this,
            &DesktopSession::onLoadMusicSourcePressed);
    m_delegate.setRefuseEmptyLibrary(true);
    connect(&m_delegate, &OrvanaSyncAppDelegate::emptyLibraryRefused, this,
            [this](const QString &, qint64 songsOnShare) { askBeforePublishingAnEmptyLibrary(songsOnShare); });
}

DesktopSession::~DesktopSession()
{
    // Nothing of this object is called while it goes; a run still going
    // ends at its next track (the delegate waits for it).
    disconnect(&m_delegate, nullptr, this, nullptr);
    disconnect(&m_verification, nullptr, this, nullptr);
    if (m_delegate.syncInProgress())
        m_delegate.requestStop();
    // The load thread hands its end to this thread and waits for it.
    if (m_loadThread) {
        while (!m_loadThread->wait(10))
            QCoreApplication::processEvents();
    }
}

void DesktopSession::applicationDidFinishLaunching()
{
    SyncPage &page = m_delegate.syncPage();
    m_delegate.setSyncVersion(QStringLiteral(ORVANA_VERSION));
    m_delegate.startBrowsing(m_options.makeServiceBrowser ? m_options.makeServiceBrowser()
                                                          : std::unique_ptr<ServiceBrowser>());
    migrateOrRegisterDefaults();
    page.initSyncPageWithTitle(QStringLiteral("Loading iTunes information..."));
    page.enableSync(false);
    m_delegate.restoreSettings();
    if (m_delegate.iTunesGUID().isEmpty())
        m_window->selectSettingsTab();
    m_window->settingsTab()->restoreFields(m_settings);
    restorePassword();
    m_initITunesTimer.start();
}

namespace {

// What tells a file rewritten from the one read: its inode (an export is
// usually replaced whole), size and modification time; empty when it
// cannot be read.
QByteArray fileStamp(const QString &path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return QByteArray::number(quint64(status.st_dev)) + ':' + QByteArray::number(quint64(status.st_ino)) + ':' +
           QByteArray::number(qint64(status.st_size)) + ':' + QByteArray::number(qint64(status.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qint64(status.st_mtim.tv_nsec));
}

QString keyOf(const QString &server, const QString &user)
{
    return server + QChar(0) + user;
}

} // namespace

void DesktopSession::restorePassword()
{
    const QString server = SharePasswordStore::storedServer(m_settings);
    const QString user = SharePasswordStore::storedUser(m_settings);
    SharePasswordStore store(m_settings, m_options.passwordKeyring);
    m_restoredPassword = store.password(server, user);
    m_restoredPasswordKey = keyOf(server, user);
    m_window->settingsTab()->setPassword(m_restoredPassword);
    if (!store.notice().isNull())
        m_delegate.syncPage().logDateAndTitle(store.notice());
}

void DesktopSession::savePassword()
{
    const QString server = SharePasswordStore::storedServer(m_settings);
    const QString user = SharePasswordStore::storedUser(m_settings);
    QString password = m_window->settingsTab()->password();
    // Unchanged: the keyring is not asked again (it may have to prompt).
    if (keyOf(server, user) == m_restoredPasswordKey && password == m_restoredPassword &&
        !m_settings.isStored(SettingsStore::MusicServerPasswordKey))
        return;
    SharePasswordStore store(m_settings, m_options.passwordKeyring);
    if (!store.save(server, user, password))
        m_delegate.syncPage().logDateAndTitle(store.error());
    else if (!store.notice().isNull())
        m_delegate.syncPage().logDateAndTitle(store.notice());
    password.fill(QLatin1Char('\0'));
}

void DesktopSession::migrateOrRegisterDefaults()
{
    Settings legacy(m_options.documentsFolder);
    if (legacy.loadConfig()) {
        m_delegate.syncPage().initSyncPageWithTitle(QStringLiteral("Migrating settings..."));
        SettingsMigration::migrate(legacy.config(), m_settings);
    } else {
        m_settings.registerDefaults(SettingsStore::builtInDefaults());
    }
}

void DesktopSession::initITunes()
{
    if (m_terminating)
        return;
    m_delegate.syncPage().logDateAndTitle(QStringLiteral("Started OrvanaSync for iTunes on the Mac"));
    loadMusicLibrary();
}

bool DesktopSession::canLoadAgain() const
{
    return !m_terminating && m_libraryLoaded && !m_loadThread && !m_delegate.syncInProgress() &&
           !m_verification.running();
}

void DesktopSession::onLoadMusicSourcePressed()
{
    if (!canLoadAgain())
        return;
    // The source is the one the fields hold.
    m_window->settingsTab()->storeMusicSource(m_settings);
    loadAgain(QStringLiteral("Loading the music source again"));
}

bool DesktopSession::loadAgainIfTheExportChanged(AfterLoad then)
{
    // The window may have been open for days: a run publishes (and a check
    // compares) the export as it is now, not as it was at the load.
    if (!canLoadAgain() || m_loadedExport.isNull() || fileStamp(m_loadedExport) == m_loadedExportStamp)
        return false;
    m_afterLoad = then;
    loadAgain(QStringLiteral("The library export has changed since it was loaded: loading it again first"));
    return true;
}

void DesktopSession::onSyncPressed()
{
    if (!loadAgainIfTheExportChanged(AfterLoad::Sync))
        m_delegate.onSyncPressed();
}

void DesktopSession::loadAgain(const QString &logLine)
{
    // The ticks so far are what the new load restores.
    storeSelectedPlaylists();
    m_libraryLoaded = false;
    m_window->settingsTab()->playlistTableView()->setPlaylists({});
    SyncPage &page = m_delegate.syncPage();
    page.enableSync(false);
    page.initSyncPageWithTitle(QStringLiteral("Loading iTunes information..."));
    page.logDateAndTitle(logLine);
    loadMusicLibrary();
}

void DesktopSession::loadMusicLibrary()
{
    auto library = std::make_shared<iTunesMusicLibrary>();
    library->setMusicSource(m_settings.string(SettingsStore::MusicSourceKey));
    library->setMusicSourcePathMap(m_settings.value(SettingsStore::MusicSourcePathMapKey));
    if (!m_options.homePath.isNull())
        library->setHomePath(m_options.homePath);
    library->setMusicFolder(m_options.musicFolder);
    m_delegate.setLibrary(library);
    // Taken before the read: an export rewritten meanwhile counts as changed.
    const MusicSourceLocator::Choice source =
        MusicSourceLocator::choose(library->musicSource(), library->homePath(), library->musicFolder());
    m_loadedExport = source.kind == MusicSourceLocator::Kind::ExportFile ? source.path : QString();
    m_loadedExportStamp = m_loadedExport.isNull() ? QByteArray() : fileStamp(m_loadedExport);
    m_window->settingsTab()->loadView()->show(QStringLiteral("Loading the music library..."));
    m_loadThread = QThread::create([this] { onLoadiTunesLibrary(); });
    connect(m_loadThread, &QThread::finished, m_loadThread, &QObject::deleteLater);
    connect(m_loadThread, &QThread::finished, this, [this] {
        m_loadThread = nullptr;
        finishWhenIdle();
    });
    m_loadThread->start();
}

void DesktopSession::onLoadiTunesLibrary()
{
    if (const auto library = std::dynamic_pointer_cast<iTunesMusicLibrary>(m_delegate.ml()))
        library->loadiTunesLibrary();
    m_delegate.waitUntilReportsShown();
    QMetaObject::invokeMethod(this, [this] { onLoadiTunesLibraryComplete(); }, Qt::BlockingQueuedConnection);
}

void DesktopSession::onLoadiTunesLibraryComplete()
{
    PlaylistTableView *picker = m_window->settingsTab()->playlistTableView();
    PlaylistTableView::PlaylistList playlists;
    if (m_delegate.ml()) {
        for (const std::shared_ptr<Playlist> &playlist : m_delegate.ml()->playlists())
            playlists.append(playlist);
    }
    picker->setPlaylists(playlists);
    const auto restored =
        SelectedPlaylistsArchive::restore(m_settings.value(SettingsStore::SelectedPlaylistsKey).toByteArray());
    m_restoredTicks = QSet<QString>(restored.keyBegin(), restored.keyEnd());
    picker->setSelectedPlaylists(restored);
    m_libraryLoaded = true;
    m_window->settingsTab()->loadView()->hide();
    if (m_terminating)
        return;
    m_delegate.syncPage().enableSync(true);
    m_delegate.syncPage().initSyncPageWithTitle(QStringLiteral("Ready"));
    Q_EMIT libraryLoadCompleted();
    switch (std::exchange(m_afterLoad, AfterLoad::Nothing)) {
    case AfterLoad::Sync:
        m_delegate.onSyncPressed();
        break;
    case AfterLoad::Verify:
        onVerifyPressed();
        break;
    case AfterLoad::Nothing:
        break;
    }
}

void DesktopSession::applicationWillTerminate()
{
    m_delegate.stopBrowsing();
    m_delegate.syncPage().logDateAndTitle(QStringLiteral("Stopped OrvanaSync for iTunes on the Mac"));
    // Before the load has handed over the stored selection, the picker holds
    // nothing of it: the stored one stays.
    if (m_libraryLoaded)
        storeSelectedPlaylists();
    m_window->settingsTab()->saveFields(m_settings);
    savePassword();
}

void DesktopSession::storeSelectedPlaylists()
{
    const auto &selected = m_window->settingsTab()->playlistTableView()->selectedPlaylists();
    const PlaylistTableView::PlaylistMap ticked = selected.value_or(PlaylistTableView::PlaylistMap());
    // Unchanged here: what another program stored meanwhile stays.
    if (QSet<QString>(ticked.keyBegin(), ticked.keyEnd()) == m_restoredTicks)
        return;
    m_settings.setValue(SettingsStore::SelectedPlaylistsKey, SelectedPlaylistsArchive::archive(ticked));
}

void DesktopSession::onExitPressed()
{
    if (m_terminating)
        return;
    m_terminating = true;
    m_initITunesTimer.stop();
    applicationWillTerminate();
    m_window->hide();
    // A run ends at the next track boundary: the file being copied is
    // finished and the library file lists what is on the share.
    if (m_delegate.syncInProgress())
        m_delegate.requestStop();
    m_verification.requestStop();
    finishWhenIdle();
}

void DesktopSession::finishWhenIdle()
{
    // A run or a load in progress hands its reports to this thread and waits:
    // the program ends when they have ended, so nothing is left half written.
    if (!m_terminating || m_terminated || m_loadThread || m_delegate.syncInProgress() || m_verification.running())
        return;
    m_terminated = true;
    Q_EMIT terminated();
}

void DesktopSession::onVerifyPressed()
{
    if (m_terminating || !m_libraryLoaded || m_verification.running() || m_delegate.syncInProgress())
        return;
    if (loadAgainIfTheExportChanged(AfterLoad::Verify))
        return;
    SyncPage &page = m_delegate.syncPage();
    page.enableSync(false);
    page.initSyncPageWithTitle(QStringLiteral("Verifying the share..."));
    m_verification.start();
}

void DesktopSession::onVerificationFinished(int outcome)
{
    SyncPage &page = m_delegate.syncPage();
    switch (outcome) {
    case ShareVerification::Consistent:
        page.initSyncPageWithTitle(QStringLiteral("The share is consistent"));
        break;
    case ShareVerification::Inconsistent:
        page.initSyncPageWithTitle(QStringLiteral("The share has problems: the log lists them"));
        break;
    default:
        page.initSyncPageWithTitle(QStringLiteral("The share could not be verified: the log says why"));
        break;
    }
    if (!m_terminating)
        page.enableSync(true);
    finishWhenIdle();
}

void DesktopSession::askBeforePublishingAnEmptyLibrary(qint64 songsOnShare)
{
    if (m_terminating || m_emptyLibraryQuestion)
        return;
    const bool entireLibrary = m_delegate.syncEntireMusicLibrary();
    const QString what = entireLibrary ? QStringLiteral("The music library has no tracks to publish")
                                       : QStringLiteral("The ticked playlists have no tracks to publish");
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Publish an empty library?"),
                                QStringLiteral("%1, but the music server lists %2 songs of this library.")
                                    .arg(what, QLocale().toString(songsOnShare)),
                                QMessageBox::NoButton, m_window.get());
    box->setObjectName(QStringLiteral("emptyLibraryQuestion"));
    box->setInformativeText(
        QStringLiteral("Publishing an empty library takes them away from every room. ") +
        (entireLibrary ? QStringLiteral("If your music is on a disk that is not connected, connect it and press Load "
                                        "on the Settings tab.")
                       : QStringLiteral("Tick the playlists to copy on the Settings tab.")));
    QPushButton *publish = box->addButton(QStringLiteral("Publish Empty Library"), QMessageBox::DestructiveRole);
    publish->setObjectName(QStringLiteral("publishEmptyLibraryButton"));
    box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, publish] {
        if (box->clickedButton() != publish || m_terminating)
            return;
        // This one run only: the next one is asked about again.
        m_delegate.setRefuseEmptyLibrary(false);
        m_delegate.onSyncPressed();
        m_delegate.setRefuseEmptyLibrary(true);
    });
    m_emptyLibraryQuestion = box;
    box->open();
}

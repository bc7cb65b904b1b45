#include "app/OrvanaSyncAppDelegate.h"

#include "app/EmptyLibraryGuard.h"
#include "app/SettingsStore.h"
#include "discovery/SystemServiceBrowser.h"
#include "library/LibraryFileReadAhead.h"
#include "library/MusicLibrary.h"
#include "library/Notify.h"
#include "library/guid.h"
#include "platform/ControlCharacters.h"
#include "platform/HomeFolder.h"
#include "platform/SystemLog.h"
#include "service/OVWSContract.h"
#include "share/ManageVolumes.h"
#include "share/ShareRunLock.h"
#include "share/TemporaryFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

const QString OrvanaSyncAppDelegate::ShareName = QStringLiteral("OrvanaMusic");
const QString OrvanaSyncAppDelegate::SelectByAddressEntry = ServerDiscovery::SelectByAddressEntry;

namespace {

const QString backslash = QStringLiteral("\\");

// A library identifier names the library file and the run lock in the
// share's Library folder: nothing that leads elsewhere or hides a file.
bool isSafeLibraryIdentifier(const QString &id)
{
    if (id.isEmpty() || id.startsWith(u'.') || id.size() > 200)
        return false;
    for (const QChar character : id) {
        if (character == u'/' || character == u'\\' || character.unicode() < 0x20 || character.unicode() == 0x7F)
            return false;
    }
    return true;
}

} // namespace

OrvanaSyncAppDelegate::OrvanaSyncAppDelegate(SettingsStore &settings, QObject *parent)
    : QObject(parent), m_settings(settings),
      m_reports(
          this, [this](const Notify &notify) { onSyncNotifictionEvent(notify); },
          [this] { Q_EMIT reportsShown(); })
{
    m_pendingCompletion.setSingleShot(true);
    m_pendingCompletion.setInterval(mountFailureCompletionDelayMs);
    connect(&m_pendingCompletion, &QTimer::timeout, this, [this] { onSyncComplete(); });
    connect(&m_discovery, &ServerDiscovery::serverEntriesChanged, this,
            [this](const QStringList &entries, int selectedIndex) {
                selectServer(selectedIndex, entries.value(selectedIndex));
                Q_EMIT serverEntriesChanged(entries, selectedIndex);
            });
    connect(&m_discovery, &ServerDiscovery::selectByIPAddressChanged, this,
            &OrvanaSyncAppDelegate::selectByIPAddressChanged);
    connect(&m_discovery, &ServerDiscovery::discoveryUnavailable, this, [this](const QString &reason) {
        m_page.logDateAndTitle(QStringLiteral("Server discovery is not available (%1): choose the server by its IP address")
                                   .arg(reason));
    });
}

OrvanaSyncAppDelegate::~OrvanaSyncAppDelegate()
{
    if (m_syncThread) {
        // The thread hands its reports to this object and waits: let it end
        // before this object goes.
        while (!m_syncThread->wait(10))
            QCoreApplication::processEvents();
    }
    if (m_ml)
        m_ml->setNotifySink({});
}

void OrvanaSyncAppDelegate::restoreSettings()
{
    m_iTunesGUID = m_settings.string(SettingsStore::iTunesGUIDKey);
    m_musicServerIPAddress = m_settings.string(SettingsStore::MusicServerIPAddressKey);
    m_iTunesLibraryName = m_settings.string(SettingsStore::ITunesLibraryNameKey);
    m_musicServerUserName = m_settings.string(SettingsStore::MusicServerUserNameKey);
    m_musicServerPassword = m_settings.string(SettingsStore::MusicServerPasswordKey);
    const bool selectByIPAddress = m_settings.boolean(SettingsStore::SelectByIPAddressKey);
    const QString musicServerName = m_settings.string(SettingsStore::MusicServerNameKey);
    m_discovery.setMusicServerName(musicServerName);
    m_discovery.restoreSelectByIPAddress(selectByIPAddress);
    // Until the first rebuild of the server choice, the stored server by name.
    if (selectByIPAddress)
        selectServer(0, SelectByAddressEntry);
    else
        selectServer(-1, musicServerName);
    m_useLocalHostAsServerName = m_settings.boolean(SettingsStore::SavePathEqualLocalHostKey);
    m_syncEntireMusicLibrary = m_settings.boolean(SettingsStore::SyncEntireLibraryKey);
    const QString shareFolder = m_settings.string(SettingsStore::ShareFolderKey);
    setShareFolder(shareFolder.isEmpty() ? QString() : shareFolder);
}

void OrvanaSyncAppDelegate::setShareFolder(const QString &value)
{
    m_shareFolder = withHomeFolder(value);
}

void OrvanaSyncAppDelegate::setLibrary(std::shared_ptr<MusicLibrary> library)
{
    if (m_ml)
        m_ml->setNotifySink({});
    m_ml = std::move(library);
    if (m_ml) {
        // Reports of the load and of the sync thread are shown on this
        // object's thread, in order, one at a time.
        m_ml->setNotifySink([this](const Notify &notify) { m_reports.report(notify); });
    }
}

void OrvanaSyncAppDelegate::setRefreshServiceFactory(std::shared_ptr<RefreshServiceFactory> factory)
{
    m_refreshServiceFactory = std::move(factory);
}

void OrvanaSyncAppDelegate::selectServer(int index, const QString &text)
{
    m_serverIndex = index;
    m_serverEntryText = text;
}

void OrvanaSyncAppDelegate::startBrowsing(std::unique_ptr<ServiceBrowser> browser)
{
    m_discovery.startBrowsing(browser ? std::move(browser) : makeSystemServiceBrowser());
}

void OrvanaSyncAppDelegate::stopBrowsing()
{
    m_discovery.stopBrowsing();
}

void OrvanaSyncAppDelegate::comboBoxSelectionDidChange(int index, const QString &text)
{
    m_discovery.comboBoxSelectionDidChange(index, text);
    selectServer(index, text);
}

SyncCounters OrvanaSyncAppDelegate::totals() const
{
    return m_ml ? m_ml->counters() : SyncCounters();
}

void OrvanaSyncAppDelegate::onSyncLibraryOrPlaylistsPressed(int selectedTag)
{
    m_syncEntireMusicLibrary = selectedTag != 0;
}

QString OrvanaSyncAppDelegate::hostOfTypedAddress(const QString &typed)
{
    // A space pasted with the address would end up in every song location
    // the server reads, and none of them would play.
    QString address = typed.trimmed();
    // As a file manager shows the share (smb://nas/OrvanaMusic/), or as
    // Windows writes it (\\nas\OrvanaMusic).
    if (address.startsWith(QLatin1String("smb://"), Qt::CaseInsensitive))
        address = address.mid(6);
    else if (address.startsWith(QLatin1String("\\\\")) || address.startsWith(QLatin1String("//")))
        address = address.mid(2);
    else
        return address;
    const qsizetype end = address.indexOf(QRegularExpression(QStringLiteral("[/\\\\]")));
    address = end < 0 ? address : address.left(end);
    // A user name written into the URL is given in its own field.
    return address.mid(address.lastIndexOf(u'@') + 1);
}

QString OrvanaSyncAppDelegate::serverAddress() const
{
    if (m_serverIndex == 0)
        return hostOfTypedAddress(m_musicServerIPAddress);
    if (m_serverIndex < 0 && m_serverEntryText.isNull())
        return {};
    return m_discovery.firstAddress(m_serverEntryText);
}

QString OrvanaSyncAppDelegate::missingServerReason() const
{
    if (!serverAddress().trimmed().isEmpty())
        return {};
    if (m_serverIndex > 0 || (m_serverIndex < 0 && !m_serverEntryText.isEmpty())) {
        // Announced, but no IPv4 address resolved (yet, or only IPv6 ones).
        if (m_discovery.svcBrowserList().contains(m_serverEntryText))
            return QStringLiteral("The music server \"%1\" has given no IPv4 address yet: try again in a moment, or "
                                  "choose it by its address")
                .arg(m_serverEntryText);
        return QStringLiteral("The music server \"%1\" is not announced on the network now: check that it is on, "
                              "or choose it by its address")
            .arg(m_serverEntryText);
    }
    return QStringLiteral("No music server is chosen: type the server's address, or choose a server found on the "
                          "network");
}

QString OrvanaSyncAppDelegate::shareRootWithoutMount(QString *unusable) const
{
    if (!m_shareFolder.isNull()) {
        // A share mounted by other means (fstab, a file manager): no mount.
        if (!QFileInfo(m_shareFolder).isDir()) {
            *unusable = QStringLiteral("The share folder %1 is not a folder").arg(m_shareFolder);
            return {};
        }
        return m_shareFolder;
    }
    QString mountPoint;
    if (!ManageVolumes::isVolumeMounted(ShareName, &mountPoint))
        return {};
    if (mountPoint.isEmpty())
        *unusable = QStringLiteral("The mounted volume %1 has no local folder").arg(ShareName);
    return mountPoint;
}

QString OrvanaSyncAppDelegate::libraryFilePath(const QString &shareRoot, const QString &libraryId)
{
    return QDir(shareRoot).filePath(QStringLiteral("Library/%1.xml").arg(libraryId));
}

bool OrvanaSyncAppDelegate::findShareRoot(const QString &address)
{
    QString unusable;
    const QString root = shareRootWithoutMount(&unusable);
    if (!unusable.isNull()) {
        systemLog(unusable);
        return false;
    }
    if (!root.isEmpty()) {
        m_shareRoot = root;
        return true;
    }
    // Nothing to mount without an address: the user is told what is missing.
    if (const QString reason = missingServerReason(); !reason.isNull()) {
        m_page.logDateAndTitle(QStringLiteral("Error: ") + reason);
        return false;
    }
    QString mountPoint;
    QString failure;
    if (!ManageVolumes::mountServerShare(address, ShareName, QString(), m_musicServerUserName, m_musicServerPassword,
                                         &mountPoint, &failure)) {
        // Why, where the user looks: a wrong password and a server that is
        // off read alike in the title.
        m_page.logDateAndTitle(
            QStringLiteral("Error: The share //%1/%2 could not be mounted: %3").arg(address, ShareName, failure));
        return false;
    }
    m_shareRoot = mountPoint;
    return !m_shareRoot.isEmpty();
}

void OrvanaSyncAppDelegate::readLibraryFileAhead()
{
    m_libraryFileReadAhead.reset();
    if (m_syncInProgress)
        return;
    if (m_iTunesGUID.isEmpty() || !isSafeLibraryIdentifier(m_iTunesGUID))
        return;
    QString unusable;
    const QString root = shareRootWithoutMount(&unusable);
    if (root.isEmpty() || !unusable.isNull())
        return;
    m_libraryFileReadAhead = std::make_unique<LibraryFileReadAhead>(libraryFilePath(root, m_iTunesGUID));
}

void OrvanaSyncAppDelegate::onSyncPressed()
{
    if (m_syncInProgress)
        return;
    m_syncInProgress = true;
    m_stopRequested = false;
    if (m_ml)
        m_ml->clearStopRequest();
    m_pendingCompletion.stop();
    m_errorReported = false;

    m_page.enableSync(false);
    m_page.initSyncPageWithTitle(QStringLiteral("Starting synchronization..."));
    m_page.logDateAndTitle(QStringLiteral("Starting synchronization"));

    if (m_iTunesGUID.isEmpty() && !m_dryRun) {
        // The command line (its daily timer) may have run on this settings
        // file since the start and made the identifier: a second one would
        // put the same library on the server twice.
        m_settings.reload();
        m_iTunesGUID = m_settings.string(SettingsStore::iTunesGUIDKey);
    }
    if (m_iTunesGUID.isEmpty()) {
        m_iTunesGUID = guid().uniqueId();
        // A dry run changes nothing, the settings file included.
        if (!m_dryRun)
            m_settings.setValue(SettingsStore::iTunesGUIDKey, m_iTunesGUID);
    }

    const QString address = serverAddress();
    if (m_ml) {
        m_ml->sharePaths().serverSharePath = m_useLocalHostAsServerName
            ? backslash + backslash + QStringLiteral("127.0.0.1") + backslash + ShareName
            : backslash + backslash + address + backslash + ShareName;
    }

    if (!findShareRoot(address)) {
        endRunAfterMountFailure(address);
        return;
    }

    // The identifier may come from the settings file: check it where it
    // becomes a path.
    if (!isSafeLibraryIdentifier(m_iTunesGUID)) {
        endRunRefused(QStringLiteral("the library identifier \"%1\" cannot name a file in the share's Library folder")
                          .arg(m_iTunesGUID));
        return;
    }
    const QDir share(m_shareRoot);
    if (m_ml && !m_dryRun) {
        const QString libraryFolder = share.filePath(QStringLiteral("Library"));
        // A read-only or full share is refused here, with its reason.
        if (::mkdir(QFile::encodeName(libraryFolder).constData(), 0777) != 0 && errno != EEXIST) {
            const int failure = errno;
            endRunRefused(QStringLiteral("cannot create the folder %1: %2")
                              .arg(libraryFolder, QString::fromLocal8Bit(std::strerror(failure))));
            return;
        }
        // Every write of the run stays beneath the share.
        TemporaryFile::confineTo(m_shareRoot);
        if (QFileInfo(libraryFolder).isSymLink()) {
            endRunRefused(QStringLiteral("%1 is a symbolic link: the run writes only beneath the share").arg(libraryFolder));
            return;
        }
        QString refusal;
        m_runLock = ShareRunLock::acquire(libraryFolder + QStringLiteral("/.%1.lock").arg(m_iTunesGUID), &refusal);
        if (!m_runLock) {
            endRunRefused(refusal);
            return;
        }
    }
    if (m_ml) {
        SharePaths &paths = m_ml->sharePaths();
        paths.xmlTracksPath = libraryFilePath(m_shareRoot, m_iTunesGUID);
        paths.xmlAlbumCoverPath = share.filePath(QStringLiteral("Artwork/Artwork.xml"));
        paths.cpyBasePath = share.filePath(QStringLiteral("Music"));
        paths.albumCoverBasePath = share.filePath(QStringLiteral("Artwork"));
        m_ml->setSyncCompleteMusicLibrary(m_syncEntireMusicLibrary);
        m_ml->setSyncVersion(m_syncVersion);
        m_ml->setCopyBarrier(m_waitForReportsBeforeCopies ? std::function<void()>([this] { m_reports.waitUntilShown(); })
                                                          : std::function<void()>());
        applyPlaylistSelection();
        // A read ahead of another file is simply not taken.
        m_ml->setLibraryFileReadAhead(std::move(m_libraryFileReadAhead));
    }

    if (refusedAsEmpty()) {
        m_runLock.reset();
        return;
    }

    if (!m_dryRun)
        prepareWebService(address);

    m_runLibraryName = m_iTunesLibraryName;
    m_syncThread = QThread::create([this] { onSyncStart(); });
    connect(m_syncThread, &QThread::finished, m_syncThread, &QObject::deleteLater);
    connect(m_syncThread, &QObject::destroyed, this, [this] { m_syncThread = nullptr; });
    m_syncThread->start();
}

void OrvanaSyncAppDelegate::applyPlaylistSelection()
{
    if (!m_ml)
        return;
    for (const std::shared_ptr<Playlist> &playlist : m_ml->playlists()) {
        if (playlist && !playlist->persistentId().isNull())
            playlist->setIsSelected(m_selectedPlaylists.contains(playlist->persistentId()));
    }
}

void OrvanaSyncAppDelegate::endRunAfterMountFailure(const QString &address)
{
    const QString title = QStringLiteral("Unable to mount volume for server share: //%1/OrvanaMusic").arg(address);
    m_page.initSyncPageWithTitle(title);
    m_page.enableSync(true);
    m_syncInProgress = false;
    m_page.logDateAndTitle(QStringLiteral("Completed synchronization"));
    m_pendingCompletion.start();
    Q_EMIT mountFailed(title);
}

bool OrvanaSyncAppDelegate::refusedAsEmpty()
{
    if (!m_refuseEmptyLibrary || !m_ml || EmptyLibraryGuard::hasTrackToPublish(*m_ml, m_syncEntireMusicLibrary))
        return false;
    const QString libraryFile = m_ml->sharePaths().xmlTracksPath;
    const qint64 songsOnShare = EmptyLibraryGuard::songsListedIn(libraryFile);
    if (songsOnShare == 0)
        return false;
    m_page.initSyncPageWithTitle(QStringLiteral("Not publishing an empty library"));
    m_page.logDateAndTitle(QStringLiteral("The run would list no tracks in place of the %1 songs of %2: nothing was written")
                               .arg(songsOnShare)
                               .arg(libraryFile));
    m_page.enableSync(true);
    m_syncInProgress = false;
    m_page.logDateAndTitle(QStringLiteral("Completed synchronization"));
    Q_EMIT emptyLibraryRefused(libraryFile, songsOnShare);
    return true;
}

void OrvanaSyncAppDelegate::endRunRefused(const QString &reason)
{
    m_page.initSyncPageWithTitle(QStringLiteral("Synchronization refused"));
    m_page.logDateAndTitle(QStringLiteral("Error: ") + reason);
    m_page.enableSync(true);
    m_syncInProgress = false;
    Q_EMIT runRefused(reason);
}

void OrvanaSyncAppDelegate::prepareWebService(const QString &address)
{
    if (m_webService || !m_refreshServiceFactory || address.isEmpty())
        return;
    const QString resolved = m_refreshServiceFactory->getIPAddressForHost(address);
    if (resolved.isNull())
        return;
    m_webService = m_refreshServiceFactory->createService(
        QStringLiteral("http://%1:%2%3").arg(resolved).arg(OVWSContract::port()).arg(OVWSContract::endpointPath()));
}

void OrvanaSyncAppDelegate::onSyncStart()
{
    if (m_ml) {
        if (m_dryRun) {
            dryRunStages();
        } else {
            m_ml->syncTracks(m_ml->sharePaths().xmlTracksPath);
            m_ml->writeXMLTracks(m_iTunesGUID, m_runLibraryName);
            if (!m_stopRequested) {
                m_ml->syncAlbumCovers(m_ml->sharePaths().xmlAlbumCoverPath);
                m_ml->writeXMLAlbumCovers();
            }
        }
    }
    // The run's last reports are on the page before its end is.
    m_reports.waitUntilShown();
    // A stopped run is not announced: the server keeps what it has listed.
    if (m_webService && !m_dryRun && !m_stopRequested)
        QMetaObject::invokeMethod(this, [this] { refreshOrvanaLibrary(); }, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(this, [this] { onSyncComplete(); }, Qt::BlockingQueuedConnection);
}

void OrvanaSyncAppDelegate::logFromSyncThread(const QString &line)
{
    m_reports.waitUntilShown();
    QMetaObject::invokeMethod(this, [this, line] { m_page.logDateAndTitle(line); }, Qt::BlockingQueuedConnection);
}

void OrvanaSyncAppDelegate::dryRunStages()
{
    m_wouldCopyTracks = 0;
    m_wouldCopyAlbumCovers = 0;
    // Only the two reads run: they change nothing but the model's marks.
    m_ml->syncTracks(m_ml->sharePaths().xmlTracksPath);
    const QStringList identifiers =
        m_syncEntireMusicLibrary ? m_ml->sortedTracks() : m_ml->getTracksToSync().keys();
    QSet<QString> albums;
    int wouldCopy = 0;
    // The destinations come from the rule the copy uses.
    m_ml->planTrackDestinations();
    for (const QString &identifier : identifiers) {
        const std::shared_ptr<Track> track = m_ml->tracks().value(identifier);
        if (!track || (track->status() != 0 && track->status() != 1) || track->DRMProtected())
            continue;
        if (track->status() == 1)
            albums.insert(track->albumID());
        const std::optional<TrackDestinations::Destination> destination = m_ml->trackDestination(*track);
        if (!destination || !destination->needsCopy)
            continue;
        if (!destination->refusal.isNull()) {
            logFromSyncThread(QStringLiteral("Would not copy: %1 (%2)").arg(track->location(), destination->refusal));
            continue;
        }
        const QString path = m_ml->sharePaths().cpyBasePath + QLatin1Char('/') + destination->relativePath();
        if (QFileInfo::exists(path))
            continue;
        ++wouldCopy;
        logFromSyncThread(QStringLiteral("Would copy: %1 to %2").arg(track->location(), path));
    }
    logFromSyncThread(QStringLiteral("Would write: %1").arg(m_ml->sharePaths().xmlTracksPath));
    m_ml->syncAlbumCovers(m_ml->sharePaths().xmlAlbumCoverPath);
    int wouldExport = 0;
    for (auto entry = m_ml->albumCovers().constKeyValueBegin(); entry != m_ml->albumCovers().constKeyValueEnd();
         ++entry) {
        if (!entry->second || entry->second->status() != 1 || !albums.contains(entry->first))
            continue;
        ++wouldExport;
        logFromSyncThread(QStringLiteral("Would export the cover of %1 to %2").arg(entry->first, m_ml->sharePaths().albumCoverBasePath));
    }
    logFromSyncThread(QStringLiteral("Would write: %1").arg(m_ml->sharePaths().xmlAlbumCoverPath));
    m_wouldCopyTracks = wouldCopy;
    m_wouldCopyAlbumCovers = wouldExport;
    logFromSyncThread(QStringLiteral("Would copy %1 tracks and %2 album covers").arg(wouldCopy).arg(wouldExport));
}

void OrvanaSyncAppDelegate::requestStop()
{
    m_stopRequested = true;
    if (const std::shared_ptr<MusicLibrary> library = m_ml)
        library->requestStop();
}

void OrvanaSyncAppDelegate::onSyncComplete()
{
    if (m_stopRequested && m_syncInProgress && m_ml)
        m_page.logDateAndTitle(QStringLiteral("Synchronization stopped: %1 new tracks were not copied")
                                   .arg(m_ml->counters().numTracksNotCopied));
    m_runLock.reset();
    const SyncCounters counted = totals();
    // The usual cause: an export made on another computer, without a path map.
    if (counted.numTracksSourceMissing > 0 && counted.numTracksCopied == 0
        && counted.numTracksSourceMissing == counted.numTracksCopyFailure) {
        m_page.logDateAndTitle(QStringLiteral("None of the %1 new tracks' files is where the music library says: if the "
                                              "library was exported on another computer, give a path map from the "
                                              "folder it names to where those files are here")
                                   .arg(counted.numTracksSourceMissing));
    }
    m_page.syncPageResults(counted);
    m_page.enableSync(true);
    m_syncInProgress = false;
    m_page.logDateAndTitle(QStringLiteral("Completed synchronization"));
    Q_EMIT syncCompleted();
}

void OrvanaSyncAppDelegate::refreshOrvanaLibrary()
{
    if (!m_webService)
        return;
    m_webService->RefreshMediaCollectionByMediaType(
        this, [this](const QVariant &value) { RefreshMediaCollectionByMediaTypeHandler(value); }, RefreshMediaType);
}

void OrvanaSyncAppDelegate::RefreshMediaCollectionByMediaTypeHandler(const QVariant &value)
{
    const QString failure = m_webService ? m_webService->failureDescription(value) : QString();
    if (!failure.isNull()) {
        // A fault's text can be as long as the answer: the log keeps its start.
        m_page.logDateAndTitle(QStringLiteral("Debug: ") + ControlCharacters::cut(failure));
        Q_EMIT refreshAnswered(false);
        return;
    }
    m_page.logDateAndTitle(QStringLiteral("Successfully Refreshed Orvana Media Library"));
    Q_EMIT refreshAnswered(true);
}

void OrvanaSyncAppDelegate::waitUntilReportsShown()
{
    m_reports.waitUntilShown();
}

void OrvanaSyncAppDelegate::onSyncNotifictionEvent(const Notify &notify)
{
    m_page.onSyncNotifictionEvent(&notify);
    if (notify.is(Activity::LoadProgress) || notify.is(Activity::TrackProgress) || notify.is(Activity::CoverProgress))
        Q_EMIT progressNotified(notify.activity(), notify.progress(), notify.maxProgress());
    if (notify.is(Activity::Error)) {
        m_errorReported = true;
        Q_EMIT errorNotified(notify.title());
    }
}

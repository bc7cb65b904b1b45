#include "cli/CliProgram.h"

#include "app/OVWSRefreshServiceFactory.h"
#include "app/OrvanaSyncAppDelegate.h"
#include "app/SelectedPlaylistsArchive.h"
#include "app/SettingsStore.h"
#include "itunes/MusicSourceLocator.h"
#include "itunes/iTunesMusicLibrary.h"
#include "share/ManageVolumes.h"
#include "share/SystemMountService.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <unistd.h>

namespace {

const int progressWidth = 30;

} // namespace

CliProgram::CliProgram(FILE *out, FILE *err)
    : m_out(out), m_err(err), m_refreshServiceFactory(std::make_shared<OVWSRefreshServiceFactory>())
{
}

CliProgram::~CliProgram() = default;

void CliProgram::setRefreshServiceFactory(std::shared_ptr<RefreshServiceFactory> factory)
{
    m_refreshServiceFactory = std::move(factory);
}

void CliProgram::print(const QString &line)
{
    clearProgress();
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void CliProgram::printError(const QString &message)
{
    clearProgress();
    std::fprintf(m_err, "orvanasync-cli: %s\n", message.toLocal8Bit().constData());
    std::fflush(m_err);
}

void CliProgram::showProgress(OrvanaSyncAppDelegate &delegate)
{
    const SyncPage &page = delegate.syncPage();
    if (!page.isProgressBarVisible() || !isatty(fileno(m_err))) {
        clearProgress();
        return;
    }
    const int value = qBound(0, page.progressBarValue(), 100);
    const int filled = value * progressWidth / 100;
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(progressWidth - filled, ' ');
    std::fprintf(m_err, "\r\033[K[%s] %3d%% %s", bar.constData(), value, page.syncOperation().toLocal8Bit().constData());
    std::fflush(m_err);
    m_progressShown = true;
}

void CliProgram::clearProgress()
{
    if (!m_progressShown)
        return;
    std::fputs("\r\033[K", m_err);
    std::fflush(m_err);
    m_progressShown = false;
}

bool CliProgram::readPassword(const CliOptions &options, QString *password)
{
    if (!options.passwordFile().isNull()) {
        QFile file(options.passwordFile());
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read the password file %1: %2").arg(options.passwordFile(), file.errorString()));
            return false;
        }
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        *password = QString::fromUtf8(line);
        return true;
    }
    if (qEnvironmentVariableIsSet("ORVANASYNC_PASSWORD"))
        *password = qEnvironmentVariable("ORVANASYNC_PASSWORD");
    return true;
}

bool CliProgram::loadLibrary(const CliOptions &options, SettingsStore &settings, OrvanaSyncAppDelegate &delegate)
{
    const QString source = options.source().isNull() ? settings.string(SettingsStore::MusicSourceKey) : options.source();
    const QVariant pathMap = options.pathMaps().isEmpty() ? settings.value(SettingsStore::MusicSourcePathMapKey)
                                                          : QVariant(options.pathMaps());
    std::shared_ptr<MusicApplication> application = MusicSourceLocator::open(source, pathMap, QDir::homePath());
    if (!application || !application->openError().isNull()) {
        printError(QStringLiteral("no music source: %1")
                       .arg(application ? application->openError().localizedDescription()
                                        : QStringLiteral("nothing to open")));
        return false;
    }
    auto library = std::make_shared<iTunesMusicLibrary>();
    library->setITunes(application);
    delegate.setLibrary(library);
    // On the main thread the reports reach the page directly.
    library->loadiTunesLibrary();
    return true;
}

bool CliProgram::selectionNamesKnownPlaylists(const CliOptions &options, const QSet<QString> &selected,
                                              bool entireLibrary, OrvanaSyncAppDelegate &delegate)
{
    QSet<QString> known;
    for (const std::shared_ptr<Playlist> &playlist : delegate.ml()->playlists()) {
        if (playlist && !playlist->persistentId().isNull())
            known.insert(playlist->persistentId());
    }
    QStringList unknown;
    for (const QString &identifier : selected) {
        if (!known.contains(identifier))
            unknown.append(identifier);
    }
    unknown.sort();
    // IDs typed on the command line are a mistake to mend; stored ones may
    // name playlists deleted since they were ticked.
    if (options.playlists() && !unknown.isEmpty()) {
        for (const QString &identifier : std::as_const(unknown))
            printError(QStringLiteral("no playlist has the ID %1 (orvanasync-cli playlists lists them); nothing was "
                                      "written")
                           .arg(identifier));
        return false;
    }
    for (const QString &identifier : std::as_const(unknown))
        printError(QStringLiteral("warning: the stored selection names the playlist ID %1, which the music source "
                                  "does not have; it is left out")
                       .arg(identifier));
    if (entireLibrary || options.allowEmpty() || unknown.size() < selected.size())
        return true;
    printError(QStringLiteral("the selection names no playlist of the music source, so the run would publish an "
                              "empty library; nothing was written: give --playlists ID[,ID...] or --entire-library "
                              "(--allow-empty publishes it anyway)"));
    return false;
}

int CliProgram::run(const CliOptions &options)
{
    switch (options.command()) {
    case CliOptions::Command::Help:
        print(QString::fromLatin1(CliOptions::usage()).chopped(1));
        return Succeeded;
    case CliOptions::Command::Version:
        print(QStringLiteral("orvanasync-cli ") + QCoreApplication::applicationVersion());
        return Succeeded;
    case CliOptions::Command::Sync:
        return runSync(options);
    case CliOptions::Command::Playlists:
        return runPlaylists(options);
    case CliOptions::Command::None:
        break;
    }
    printError(options.error());
    std::fputs(CliOptions::usage(), m_err);
    return CouldNotRun;
}

int CliProgram::runPlaylists(const CliOptions &options)
{
    SettingsStore settings(options.settingsFile().isNull() ? SettingsStore::defaultFileName() : options.settingsFile());
    OrvanaSyncAppDelegate delegate(settings);
    if (!loadLibrary(options, settings, delegate))
        return CouldNotRun;
    for (const std::shared_ptr<Playlist> &playlist : delegate.ml()->playlists()) {
        if (!playlist)
            continue;
        if (!playlist->isExpanded()) {
            playlist->setIsExpanded(true);
            playlist->getPlaylistTrackIDs();
        }
        const qsizetype count = playlist->tracks() ? playlist->tracks()->size() : 0;
        const QByteArray line = playlist->persistentId().toUtf8() + '\t' + QByteArray::number(count) + '\t' +
                                playlist->name().toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), m_out);
    }
    std::fflush(m_out);
    return Succeeded;
}

int CliProgram::runSync(const CliOptions &options)
{
    SettingsStore settings(options.settingsFile().isNull() ? SettingsStore::defaultFileName() : options.settingsFile());
    settings.registerDefaults(SettingsStore::builtInDefaults());

    QString password = settings.string(SettingsStore::MusicServerPasswordKey);
    if (!readPassword(options, &password))
        return CouldNotRun;

    OrvanaSyncAppDelegate delegate(settings);
    connect(&delegate.syncPage(), &SyncPage::lineLogged, this, [this](const QString &line) { print(line); });
    connect(&delegate.syncPage(), &SyncPage::pageChanged, this, [this, &delegate] { showProgress(delegate); });
    delegate.setSyncVersion(QCoreApplication::applicationVersion());
    delegate.restoreSettings();
    // The command line has no server discovery: the address is the one
    // stored or given.
    delegate.selectServer(0, OrvanaSyncAppDelegate::SelectByAddressEntry);
    if (!options.server().isNull())
        delegate.setMusicServerIPAddress(options.server());
    if (!options.userName().isNull())
        delegate.setMusicServerUserName(options.userName());
    delegate.setMusicServerPassword(password);
    password.fill(QLatin1Char('\0'));
    if (!options.libraryName().isNull())
        delegate.setITunesLibraryName(options.libraryName());
    if (!options.libraryId().isNull())
        delegate.setITunesGUID(options.libraryId());
    if (options.entireLibrary())
        delegate.setSyncEntireMusicLibrary(*options.entireLibrary());
    if (!options.shareFolder().isNull())
        delegate.setShareFolder(options.shareFolder());
    if (options.localhostSharePath())
        delegate.setUseLocalHostAsServerName(true);
    delegate.setDryRun(options.dryRun());
    const QSet<QString> selected =
        options.playlists()
            ? QSet<QString>(options.playlists()->begin(), options.playlists()->end())
            : SelectedPlaylistsArchive::restoreIds(settings.value(SettingsStore::SelectedPlaylistsKey).toByteArray());
    delegate.setSelectedPlaylists(selected);
    delegate.setRefuseEmptyLibrary(!options.allowEmpty());
    const QString volumesFolder = settings.string(SettingsStore::VolumesFolderKey);
    ManageVolumes::setMountService(std::make_shared<SystemMountService>(
        SystemMountService::methodFromName(settings.string(SettingsStore::MountMethodKey)),
        volumesFolder.isEmpty() ? SystemMountService::defaultVolumesFolder() : volumesFolder));
    if (m_refreshServiceFactory)
        delegate.setRefreshServiceFactory(m_refreshServiceFactory);

    if (!loadLibrary(options, settings, delegate))
        return CouldNotRun;
    if (!selectionNamesKnownPlaylists(options, selected, delegate.syncEntireMusicLibrary(), delegate))
        return CouldNotRun;

    bool completed = false;
    bool mountFailed = false;
    bool refused = false;
    std::optional<bool> refreshSucceeded;
    QEventLoop loop;
    QTimer refreshTimeout;
    refreshTimeout.setSingleShot(true);
    // ORVANASYNC_REFRESH_WAIT_MS shortens the wait (tests of a silent server).
    const int refreshWaitMs = qEnvironmentVariableIsSet("ORVANASYNC_REFRESH_WAIT_MS")
                                  ? qEnvironmentVariableIntValue("ORVANASYNC_REFRESH_WAIT_MS")
                                  : refreshAnswerTimeoutMs;
    refreshTimeout.setInterval(refreshWaitMs);
    connect(&refreshTimeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto finishWhenDone = [&] {
        if (completed && (!delegate.webService() || options.dryRun() || refreshSucceeded))
            loop.quit();
    };
    connect(&delegate, &OrvanaSyncAppDelegate::syncCompleted, &loop, [&] {
        completed = true;
        refreshTimeout.start();
        finishWhenDone();
    });
    connect(&delegate, &OrvanaSyncAppDelegate::refreshAnswered, &loop, [&](bool succeeded) {
        if (!refreshSucceeded)
            refreshSucceeded = succeeded;
        finishWhenDone();
    });
    connect(&delegate, &OrvanaSyncAppDelegate::mountFailed, &loop, [&] {
        mountFailed = true;
        loop.quit();
    });
    connect(&delegate, &OrvanaSyncAppDelegate::emptyLibraryRefused, &loop,
            [&](const QString &libraryFile, qint64 songsOnShare) {
                refused = true;
                printError(QStringLiteral("the run would publish a library with no tracks in place of the %1 songs "
                                          "listed in %2 (is the music source's disk or folder there?); nothing was "
                                          "written: use --allow-empty to publish it anyway")
                               .arg(songsOnShare)
                               .arg(libraryFile));
                loop.quit();
            });
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.onSyncPressed(); });
    loop.exec();
    clearProgress();

    if (refused)
        return CouldNotRun;
    const SyncPage &page = delegate.syncPage();
    print(page.syncOperation());
    if (mountFailed)
        return CouldNotRun;
    for (int n = 1; n <= 4; ++n) {
        if (!page.syncTitle(n).isEmpty())
            print(page.syncTitle(n));
    }
    if (delegate.webService() && !options.dryRun() && !refreshSucceeded) {
        printError(QStringLiteral("the server did not answer the refresh within %1 seconds").arg(refreshWaitMs / 1000.0));
        return CompletedWithErrors;
    }
    if (delegate.errorReported() || refreshSucceeded == false)
        return CompletedWithErrors;
    return Succeeded;
}

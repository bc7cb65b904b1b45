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
    if (options.playlists()) {
        const QStringList &ids = *options.playlists();
        delegate.setSelectedPlaylists(QSet<QString>(ids.begin(), ids.end()));
    } else {
        delegate.setSelectedPlaylists(
            SelectedPlaylistsArchive::restoreIds(settings.value(SettingsStore::SelectedPlaylistsKey).toByteArray()));
    }
    const QString volumesFolder = settings.string(SettingsStore::VolumesFolderKey);
    ManageVolumes::setMountService(std::make_shared<SystemMountService>(
        SystemMountService::methodFromName(settings.string(SettingsStore::MountMethodKey)),
        volumesFolder.isEmpty() ? SystemMountService::defaultVolumesFolder() : volumesFolder));
    if (m_refreshServiceFactory)
        delegate.setRefreshServiceFactory(m_refreshServiceFactory);

    if (!loadLibrary(options, settings, delegate))
        return CouldNotRun;

    bool completed = false;
    bool mountFailed = false;
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
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.onSyncPressed(); });
    loop.exec();
    clearProgress();

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

#include "cli/CliProgram.h"

#include "app/OVWSRefreshServiceFactory.h"
#include "app/OrvanaSyncAppDelegate.h"
#include "app/SelectedPlaylistsArchive.h"
#include "app/SettingsStore.h"
#include "app/SharePasswordStore.h"
#include "cli/CliServerDiscovery.h"
#include "cli/ConfigCommand.h"
#include "cli/PasswordCommand.h"
#include "cli/SyncPreflight.h"
#include "cli/SyncReport.h"
#include "cli/TerminalProgress.h"
#include "cli/TsvField.h"
#include "cli/VerifyCommand.h"
#include "itunes/MusicApplication.h"
#include "library/MusicLibrary.h"
#include "platform/StopSignals.h"
#include "service/OVWSContract.h"
#include "share/ManageVolumes.h"
#include "secrets/SecretServiceKeyring.h"
#include "share/SystemMountService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString settingsFileName(const CliOptions &options)
{
    return options.settingsFile().isNull() ? SettingsStore::defaultFileName() : options.settingsFile();
}

} // namespace

CliProgram::CliProgram(FILE *out, FILE *err)
    : m_output(out, err), m_refreshServiceFactory(std::make_shared<OVWSRefreshServiceFactory>()),
      m_passwordKeyring(std::make_shared<SecretServiceKeyring>()),
      m_source([this](const QString &message) { m_output.printError(message); })
{
}

CliProgram::~CliProgram() = default;

void CliProgram::setRefreshServiceFactory(std::shared_ptr<RefreshServiceFactory> factory)
{
    m_refreshServiceFactory = std::move(factory);
}

void CliProgram::setPasswordKeyring(std::shared_ptr<PasswordKeyring> keyring)
{
    m_passwordKeyring = std::move(keyring);
}

bool CliProgram::readPassword(const CliOptions &options, SettingsStore &settings, QString *password)
{
    if (!options.passwordFile().isNull()) {
        QFile file(options.passwordFile());
        if (!file.open(QIODevice::ReadOnly)) {
            m_output.printError(QStringLiteral("cannot read the password file %1: %2").arg(options.passwordFile(), file.errorString()));
            return false;
        }
        *password = PasswordCommand::secretOfLine(file.readLine());
        return true;
    }
    if (qEnvironmentVariableIsSet("ORVANASYNC_PASSWORD")) {
        *password = qEnvironmentVariable("ORVANASYNC_PASSWORD");
        // Read once: no child process (the mount helper, GVfs) inherits it.
        qunsetenv("ORVANASYNC_PASSWORD");
        return true;
    }
    QString server = options.server().isNull() ? options.serverName() : options.server();
    if (server.isNull())
        server = SharePasswordStore::storedServer(settings);
    const QString user = options.userName().isNull() ? SharePasswordStore::storedUser(settings) : options.userName();
    SharePasswordStore store(settings, m_passwordKeyring);
    // A dry run writes nothing, the settings file included; nor does verify.
    const bool readOnly = options.dryRun() || options.command() == CliOptions::Command::Verify;
    *password = store.password(server, user,
                               readOnly ? SharePasswordStore::ClearText::Leave : SharePasswordStore::ClearText::Move);
    if (!store.notice().isNull() && m_output.verbosity() != CliOptions::Verbosity::Quiet)
        m_output.printError(QStringLiteral("notice: ") + store.notice());
    return true;
}

void CliProgram::watchStopSignals(OrvanaSyncAppDelegate &delegate)
{
    m_stopSignals = std::make_unique<StopSignals>();
    connect(m_stopSignals.get(), &StopSignals::stopRequested, this, [this, &delegate](int signalNumber) {
        m_output.printError(QStringLiteral("stopping after the current track (%1 again ends at once)")
                       .arg(signalNumber == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("Ctrl-C")));
        delegate.requestStop();
    });
}

QString CliProgram::stoppedLine(const OrvanaSyncAppDelegate &delegate)
{
    const std::shared_ptr<MusicLibrary> &library = delegate.ml();
    return QStringLiteral("Stopped: %1 tracks were copied, %2 new tracks were not; the library file lists only the "
                          "tracks on the share; no refresh was sent")
        .arg(library ? library->counters().numTracksCopied : 0)
        .arg(library ? library->counters().numTracksNotCopied : 0);
}

int CliProgram::run(const CliOptions &options)
{
    const auto flushOutput = qScopeGuard([this] { m_output.flush(); });
    m_output.configure(options.verbosity(), options.json());
    switch (options.command()) {
    case CliOptions::Command::Help:
        for (const QString &line : CliOptions::usage().chopped(1).split(QLatin1Char('\n')))
            m_output.print(line);
        return Succeeded;
    case CliOptions::Command::Version:
        m_output.print(QStringLiteral("orvanasync-cli ") + QCoreApplication::applicationVersion());
        return Succeeded;
    case CliOptions::Command::Sync:
        return runSync(options);
    case CliOptions::Command::Playlists:
        return runPlaylists(options);
    case CliOptions::Command::Verify:
        return runVerify(options);
    case CliOptions::Command::Servers:
        return CliServerDiscovery::listServers(options, m_output.out(), m_output.err());
    case CliOptions::Command::Config: {
        SettingsStore settings(settingsFileName(options));
        settings.registerDefaults(SettingsStore::builtInDefaults());
        ConfigCommand config(settings, m_output.out(), m_output.err());
        config.setPasswordKeyring(m_passwordKeyring);
        return config.run(options.arguments());
    }
    case CliOptions::Command::Password: {
        SettingsStore settings(settingsFileName(options));
        settings.registerDefaults(SettingsStore::builtInDefaults());
        return PasswordCommand(settings, m_passwordKeyring, m_output.out(), m_output.err()).run(options);
    }
    case CliOptions::Command::None:
        break;
    }
    m_output.printError(options.error());
    return CouldNotRun;
}

int CliProgram::runPlaylists(const CliOptions &options)
{
    SettingsStore settings(settingsFileName(options));
    OrvanaSyncAppDelegate delegate(settings);
    if (!m_source.load(options, settings, delegate))
        return CouldNotRun;
    // What the load left out (a playlist among them) is said as a sync says it.
    for (const QString &warning : m_source.application()->warnings())
        m_output.printError(warning);
    const QByteArray lines = CliMusicSource::playlistListing(*delegate.ml(), options.json());
    std::fwrite(lines.constData(), 1, size_t(lines.size()), m_output.out());
    m_output.flush();
    return Succeeded;
}

void CliProgram::configureDelegate(const CliOptions &options, SettingsStore &settings,
                                   OrvanaSyncAppDelegate &delegate, const QSet<QString> &selected)
{
    delegate.setSyncVersion(QCoreApplication::applicationVersion());
    delegate.restoreSettings();
    if (!options.userName().isNull())
        delegate.setMusicServerUserName(options.userName());
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
    delegate.setSelectedPlaylists(selected);
    delegate.setRefuseEmptyLibrary(!options.allowEmpty());
    // A stop comes from a signal, not from a line seen: the run need not wait
    // for each line to be printed before it copies a track.
    delegate.setWaitForReportsBeforeCopies(false);
    const QString volumesFolder = settings.string(SettingsStore::VolumesFolderKey);
    ManageVolumes::setMountService(std::make_shared<SystemMountService>(
        SystemMountService::methodFromName(settings.string(SettingsStore::MountMethodKey)),
        volumesFolder.isEmpty() ? SystemMountService::defaultVolumesFolder() : volumesFolder));
    if (m_refreshServiceFactory)
        delegate.setRefreshServiceFactory(m_refreshServiceFactory);
}

QSet<QString> CliProgram::selectedPlaylists(const CliOptions &options, SettingsStore &settings)
{
    return options.playlists()
               ? QSet<QString>(options.playlists()->begin(), options.playlists()->end())
               : SelectedPlaylistsArchive::restoreIds(settings.value(SettingsStore::SelectedPlaylistsKey).toByteArray());
}

std::optional<int> CliProgram::prepareRun(const CliOptions &options, SettingsStore &settings,
                                          OrvanaSyncAppDelegate &delegate, const QSet<QString> &selected)
{
    QString password;
    if (!readPassword(options, settings, &password))
        return CouldNotRun;
    for (const auto &[path, what] : {std::pair{settings.fileName(), QStringLiteral("the settings file")},
                                     std::pair{options.passwordFile(), QStringLiteral("the password file")}}) {
        if (const QString warning = ConfigCommand::readableByOthersWarning(path, what); !warning.isNull())
            m_output.printError(warning);
    }
    configureDelegate(options, settings, delegate, selected);
    delegate.setMusicServerPassword(password);
    password.fill(QLatin1Char('\0'));
    const QString noServer = CliServerDiscovery::chooseServer(options, delegate, m_output.err(),
                                                              [this](const QString &warning) { m_output.printError(warning); });
    if (!noServer.isNull()) {
        m_output.printError(noServer);
        return CouldNotRun;
    }

    SyncPreflight::Machine machine = SyncPreflight::systemMachine();
    machine.hostResolves = [this](const QString &host) {
        return !m_refreshServiceFactory || !m_refreshServiceFactory->getIPAddressForHost(host).isNull();
    };
    const std::optional<SyncPreflight::Problem> problem = SyncPreflight::check(
        {settings.fileName(), settings.string(SettingsStore::MountMethodKey), delegate.shareFolder(),
         delegate.serverAddress()},
        machine);
    if (problem) {
        m_output.printError(problem->message);
        return problem->exitStatus;
    }
    return std::nullopt;
}

QString CliProgram::mountFailureMessage(const QString &address)
{
    return QStringLiteral("the share //%1/OrvanaMusic could not be mounted: check the server's address, the user name "
                          "and the password")
        .arg(address);
}

int CliProgram::runSync(const CliOptions &options)
{
    SettingsStore settings(settingsFileName(options));
    settings.registerDefaults(SettingsStore::builtInDefaults());

    OrvanaSyncAppDelegate delegate(settings);
    SyncReport report;
    // Each line is printed as it comes.
    delegate.syncPage().setKeepsLogText(false);
    connect(&delegate.syncPage(), &SyncPage::lineLogged, this, [this](const QString &line) { m_output.printLogLine(line); });
    connect(&delegate, &OrvanaSyncAppDelegate::reportsShown, this, [this] { m_output.flush(); });
    connect(&delegate, &OrvanaSyncAppDelegate::progressNotified, this,
            [this, &delegate](int activity, int progress, int maxProgress) {
                m_output.showProgress(delegate.ml().get(), activity, progress, maxProgress);
            });
    connect(&delegate, &OrvanaSyncAppDelegate::errorNotified, this,
            [&report](const QString &title) { report.addError(title); });
    const QSet<QString> selected = selectedPlaylists(options, settings);
    if (const std::optional<int> failed = prepareRun(options, settings, delegate, selected))
        return *failed;

    watchStopSignals(delegate);
    const auto unwatch = qScopeGuard([this] { m_stopSignals.reset(); });
    // The share's library file is read while the music library loads.
    delegate.readLibraryFileAhead();
    if (!m_source.load(options, settings, delegate))
        return CouldNotRun;
    QCoreApplication::processEvents();
    if (StopSignals::received() != 0) {
        m_output.printError(QStringLiteral("stopped before the run started; the share was not changed"));
        return 128 + StopSignals::received();
    }
    // A run clears the delegate's error flag: what the load reported is kept here.
    const bool loadReportedErrors = delegate.errorReported();
    if (delegate.ml()->tracks().isEmpty() && m_source.application()->listedTrackCount() > 0) {
        for (const QString &line : m_source.leftOutLines())
            m_output.printError(line);
        m_output.printError(QStringLiteral("none of the %1 tracks the music library lists could be loaded; nothing was synced")
                       .arg(m_source.application()->listedTrackCount()));
        return CompletedWithErrors;
    }
    if (!m_source.selectionNamesKnownPlaylists(options, selected, delegate.syncEntireMusicLibrary(), delegate))
        return CouldNotRun;

    const RunOutcome outcome = runToTheEnd(delegate, options.dryRun());
    m_output.clearProgress();
    if (outcome.refused)
        return CouldNotRun;

    const SyncPage &page = delegate.syncPage();
    QStringList summary{page.syncOperation()};
    if (options.dryRun() && !outcome.mountFailed) {
        // The page's totals count what was copied: nothing, in a dry run.
        report.setWouldCopy(delegate.wouldCopyTracks(), delegate.wouldCopyAlbumCovers());
        summary = QStringList{QStringLiteral("Dry run completed: nothing was changed"),
                              QStringLiteral("Would copy %1 tracks and %2 album covers")
                                  .arg(delegate.wouldCopyTracks())
                                  .arg(delegate.wouldCopyAlbumCovers())};
    }
    for (int n = 1; n <= 4 && !outcome.mountFailed && !options.dryRun(); ++n) {
        if (!page.syncTitle(n).isEmpty())
            summary.append(page.syncTitle(n));
    }
    summary += m_source.leftOutLines();
    int status = Succeeded;
    if (StopSignals::received() != 0 && !outcome.mountFailed) {
        summary.append(stoppedLine(delegate));
        status = 128 + StopSignals::received();
    } else if (outcome.mountFailed) {
        m_output.printError(mountFailureMessage(delegate.serverAddress()));
        status = CouldNotRun;
    } else if (delegate.webService() && !options.dryRun() && !outcome.refreshSucceeded) {
        report.setRefresh(SyncReport::Refresh::NoAnswer);
        m_output.printError(QStringLiteral("the server did not answer the refresh within %1 seconds: it may still be busy, "
                                  "or it was stopped; the files are on the share")
                       .arg(outcome.refreshWaitMs / 1000.0));
        status = CompletedWithErrors;
    } else if (outcome.refreshSucceeded == false) {
        report.setRefresh(SyncReport::Refresh::Failed);
        m_output.printError(QStringLiteral("the server did not refresh its media collection (%1): is the music server at %2 "
                                  "running and reachable on port %3? The files are on the share")
                       .arg(m_output.lastDebugMessage().simplified(), delegate.serverAddress())
                       .arg(OVWSContract::port()));
        status = CompletedWithErrors;
    } else if (outcome.refreshSucceeded == true) {
        report.setRefresh(SyncReport::Refresh::Succeeded);
    }
    const QString host = SyncPreflight::hostOf(delegate.serverAddress());
    if (!outcome.mountFailed && !options.dryRun() && StopSignals::received() == 0) {
        if (delegate.serverAddress().trimmed().isEmpty()) {
            m_output.printError(QStringLiteral("warning: no server given or stored, so no refresh was sent: give --server "
                                      "ADDRESS to have the server read the new library"));
        } else if (!host.isNull() && !delegate.webService()) {
            m_output.printError(SyncPreflight::unresolvedHostMessage(host));
            status = CompletedWithErrors;
        }
    }
    if (status == Succeeded && (loadReportedErrors || delegate.errorReported()))
        status = CompletedWithErrors;

    if (options.json()) {
        const QJsonObject object = report.toJson(delegate.totals(), summary, options.dryRun(), status);
        const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, size_t(text.size()), m_output.out());
        m_output.flush();
    } else {
        for (const QString &line : std::as_const(summary))
            m_output.print(line);
    }
    return status;
}

int CliProgram::runVerify(const CliOptions &options)
{
    SettingsStore settings(settingsFileName(options));
    settings.registerDefaults(SettingsStore::builtInDefaults());
    OrvanaSyncAppDelegate delegate(settings);
    if (const std::optional<int> failed = prepareRun(options, settings, delegate, selectedPlaylists(options, settings)))
        return *failed;
    // The share is compared with a music source only when one is named.
    if (!options.source().isNull() && !m_source.load(options, settings, delegate))
        return CouldNotRun;
    VerifyCommand command(delegate, m_output.out(), m_output.err());
    command.setComparesWithSource(!options.source().isNull());
    command.setMountFailureMessage(mountFailureMessage(delegate.serverAddress()));
    return command.run(options.json(), options.verbosity() == CliOptions::Verbosity::Quiet);
}

CliProgram::RunOutcome CliProgram::runToTheEnd(OrvanaSyncAppDelegate &delegate, bool dryRun)
{
    RunOutcome outcome;
    bool completed = false;
    QEventLoop loop;
    QTimer refreshTimeout;
    refreshTimeout.setSingleShot(true);
    // ORVANASYNC_REFRESH_WAIT_MS shortens the wait (tests of a silent server).
    outcome.refreshWaitMs = qEnvironmentVariableIsSet("ORVANASYNC_REFRESH_WAIT_MS")
                                ? qEnvironmentVariableIntValue("ORVANASYNC_REFRESH_WAIT_MS")
                                : refreshAnswerTimeoutMs;
    refreshTimeout.setInterval(outcome.refreshWaitMs);
    connect(&refreshTimeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto finishWhenDone = [&] {
        if (completed && (!delegate.webService() || dryRun || outcome.refreshSucceeded || delegate.stopRequested()))
            loop.quit();
    };
    // A line while the server reads the new library, once a second.
    QTimer waitLine;
    QElapsedTimer waited;
    waitLine.setInterval(1000);
    connect(&waitLine, &QTimer::timeout, &loop,
            [&] { m_output.progress().waitingForRefresh(waited.elapsed(), outcome.refreshWaitMs); });
    connect(&delegate, &OrvanaSyncAppDelegate::syncCompleted, &loop, [&] {
        completed = true;
        refreshTimeout.start();
        finishWhenDone();
        if (delegate.webService() && !dryRun && !outcome.refreshSucceeded && m_output.progress().enabled()) {
            waited.start();
            m_output.progress().waitingForRefresh(0, outcome.refreshWaitMs);
            waitLine.start();
        }
    });
    connect(&delegate, &OrvanaSyncAppDelegate::refreshAnswered, &loop, [&](bool succeeded) {
        if (!outcome.refreshSucceeded)
            outcome.refreshSucceeded = succeeded;
        finishWhenDone();
    });
    connect(&delegate, &OrvanaSyncAppDelegate::mountFailed, &loop, [&] {
        outcome.mountFailed = true;
        loop.quit();
    });
    // The reason is already on standard error: the page's "Error:" line.
    connect(&delegate, &OrvanaSyncAppDelegate::runRefused, &loop, [&](const QString &) {
        outcome.refused = true;
        loop.quit();
    });
    connect(&delegate, &OrvanaSyncAppDelegate::emptyLibraryRefused, &loop,
            [&](const QString &libraryFile, qint64 songsOnShare) {
                outcome.refused = true;
                m_output.printError(QStringLiteral("the run would publish a library with no tracks in place of the %1 songs "
                                          "listed in %2 (is the music source's disk or folder there?); nothing was "
                                          "written: use --allow-empty to publish it anyway")
                               .arg(songsOnShare)
                               .arg(libraryFile));
                loop.quit();
            });
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.onSyncPressed(); });
    loop.exec();
    return outcome;
}

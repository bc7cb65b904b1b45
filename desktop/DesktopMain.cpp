#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "desktop/DesktopSession.h"
#include "desktop/MainWindow.h"
#include "desktop/SingleInstance.h"
#include "platform/StopSignals.h"
#include "share/ManageVolumes.h"
#include "share/SystemMountService.h"

#include <QApplication>
#include <QPushButton>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {

struct Arguments {
    QString settingsFile;
};

// Reads the command line before any window exists, so that --help and
// --version work without a display.
Arguments parseArguments(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvanasync"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANA_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Copies a music library to a music server's share and asks the server to refresh its media "
                       "collection."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                            QStringLiteral("Use this settings file instead of the user's."),
                                            QStringLiteral("FILE"));
    parser.addOption(settingsOption);
    parser.process(app);
    return {parser.isSet(settingsOption) ? parser.value(settingsOption) : SettingsStore::defaultFileName()};
}

} // namespace

int main(int argc, char **argv)
{
    const Arguments arguments = parseArguments(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvanasync"));
    QApplication::setApplicationDisplayName(QStringLiteral("OrvanaSync"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.orvanasync.OrvanaSync"));
    // The window decides when the program ends (after saving the settings).
    QApplication::setQuitOnLastWindowClosed(false);
    SingleInstance instance(arguments.settingsFile);
    if (!instance.claim())
        return 0; // the window already open for these settings comes to the front

    SettingsStore settings(arguments.settingsFile);
    const QString volumesFolder = settings.string(SettingsStore::VolumesFolderKey);
    ManageVolumes::setMountService(std::make_shared<SystemMountService>(
        SystemMountService::methodFromName(settings.string(SettingsStore::MountMethodKey)),
        volumesFolder.isEmpty() ? SystemMountService::defaultVolumesFolder() : volumesFolder));

    DesktopSession session(settings, {Settings::defaultDocumentsFolder(), QDir::homePath(),
                                       QStandardPaths::writableLocation(QStandardPaths::MusicLocation), nullptr,
                                       nullptr, nullptr});
    QObject::connect(&session, &DesktopSession::terminated, &app, &QApplication::quit, Qt::QueuedConnection);
    // SIGTERM (the session ends, a service manager stops it) and SIGINT end
    // the program as Exit does: the settings are written, a run stops at
    // its next track boundary.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &session, [&session] { session.onExitPressed(); });
    // ORVANASYNC_AUTOMATED_RUN=1 (benchmarks, unattended runs): Sync is
    // pressed once the load has ended, and the program exits as Exit would
    // once the run has completed.
    if (qEnvironmentVariableIntValue("ORVANASYNC_AUTOMATED_RUN") == 1) {
        QObject::connect(
            &session, &DesktopSession::libraryLoadCompleted, &session,
            [&session] {
                if (auto *sync = session.window().findChild<QPushButton *>(QStringLiteral("syncSyncButton")))
                    sync->click();
            },
            Qt::QueuedConnection);
        QObject::connect(
            &session.delegate(), &OrvanaSyncAppDelegate::syncCompleted, &session, [&session] { session.onExitPressed(); },
            Qt::QueuedConnection);
        // A run that never starts ends the program too: nobody is there to
        // answer a question or press Sync again.
        QObject::connect(
            &session.delegate(), &OrvanaSyncAppDelegate::runRefused, &session, [&session] { session.onExitPressed(); },
            Qt::QueuedConnection);
        QObject::connect(
            &session.delegate(), &OrvanaSyncAppDelegate::emptyLibraryRefused, &session,
            [&session] { session.onExitPressed(); }, Qt::QueuedConnection);
    }
    QObject::connect(&instance, &SingleInstance::activationRequested, &session, [&session] {
        MainWindow &window = session.window();
        window.show();
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window.raise();
        window.activateWindow();
    });
    session.window().show();
    session.applicationDidFinishLaunching();
    return app.exec();
}

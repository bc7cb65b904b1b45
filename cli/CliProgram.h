#pragma once

#include "cli/CliMusicSource.h"
#include "cli/CliOptions.h"
#include "cli/CliOutput.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <cstdio>
#include <memory>
#include <optional>

class OrvanaSyncAppDelegate;
class PasswordKeyring;
class StopSignals;
class RefreshServiceFactory;
class SettingsStore;

// orvanasync-cli's commands over the shared sync run: the log on standard
// output as it grows, a progress line on standard error when that is a
// terminal, and the exit status of the run.
class CliProgram : public QObject {
    Q_OBJECT

public:
    enum ExitStatus { Succeeded = 0, CompletedWithErrors = 1, CouldNotRun = 2 };
    // How long the program waits for the refresh's answer after the totals.
    static constexpr int refreshAnswerTimeoutMs = 60000;

    CliProgram(FILE *out = stdout, FILE *err = stderr);
    ~CliProgram() override;

    // Runs the command (with the event loop where needed) and answers the
    // exit status.
    int run(const CliOptions &options);

    // Replaces the web-service maker (tests); by default the real proxy.
    void setRefreshServiceFactory(std::shared_ptr<RefreshServiceFactory> factory);
    // Replaces the keyring (tests); by default the desktop's Secret Service.
    void setPasswordKeyring(std::shared_ptr<PasswordKeyring> keyring);

private:
    // How a run ended, as the event loop saw it.
    struct RunOutcome {
        bool mountFailed = false;
        bool refused = false;
        std::optional<bool> refreshSucceeded;
        int refreshWaitMs = refreshAnswerTimeoutMs;
    };

    int runSync(const CliOptions &options);
    // What sync and verify share before their work: the password, the
    // delegate's values from the options, the server choice and the
    // preflight checks; an exit status when the command cannot go on.
    std::optional<int> prepareRun(const CliOptions &options, SettingsStore &settings, OrvanaSyncAppDelegate &delegate,
                                  const QSet<QString> &selected);
    static QSet<QString> selectedPlaylists(const CliOptions &options, SettingsStore &settings);
    static QString mountFailureMessage(const QString &address);
    int runVerify(const CliOptions &options);
    void configureDelegate(const CliOptions &options, SettingsStore &settings, OrvanaSyncAppDelegate &delegate,
                           const QSet<QString> &selected);
    RunOutcome runToTheEnd(OrvanaSyncAppDelegate &delegate, bool dryRun);
    int runPlaylists(const CliOptions &options);
    // The password of --password-file or ORVANASYNC_PASSWORD, else the
    // stored one; false when the password file cannot be read.
    bool readPassword(const CliOptions &options, SettingsStore &settings, QString *password);
    // The first SIGINT or SIGTERM asks delegate's run to stop; the second
    // ends the program at once.
    void watchStopSignals(OrvanaSyncAppDelegate &delegate);
    // What a stopped run did and left undone.
    static QString stoppedLine(const OrvanaSyncAppDelegate &delegate);

    CliOutput m_output;
    std::shared_ptr<RefreshServiceFactory> m_refreshServiceFactory;
    std::shared_ptr<PasswordKeyring> m_passwordKeyring;
    CliMusicSource m_source;
    std::unique_ptr<StopSignals> m_stopSignals;
};

#include "tests/e2e/EndToEndSupport.h"
#include "tests/e2e/ProcessTree.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/TestKeyringDaemon.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const QByteArray sharePassword = "Keyring-e2e-pw";

// A stand-in for mount.cifs that records the credentials it is given (in
// files only their owner can read) and succeeds: the mount point stays a
// plain folder, which the run fills as the share.
const char *const fakeMountCifs = R"(#!/bin/sh
umask 077
out="$(dirname "$0")/mount"
printf '%s\n' "$@" > "$out.args"
creds=$(printf '%s' "$4" | sed -n 's/^credentials=\([^,]*\),.*/\1/p')
cat "$creds" > "$out.creds"
)";

// orvanasync-cli with the password in the desktop's keyring: a real
// gnome-keyring-daemon on a private session bus, runs that mount the share
// through a recording mount.cifs and refresh the simulator.
class KeyringEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        home = folder.filePath(QStringLiteral("home"));
        library = folder.filePath(QStringLiteral("library"));
        volumes = folder.filePath(QStringLiteral("volumes"));
        helpers = folder.filePath(QStringLiteral("helpers"));
        settingsFile = home + QStringLiteral("/.config/OrvanaSync/OrvanaSync.conf");
        for (const QString &path : {home, volumes, helpers})
            ASSERT_TRUE(QDir().mkpath(path));
        QFile script(helpers + QStringLiteral("/mount.cifs"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(fakeMountCifs);
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ASSERT_EQ(makeSampleLibrary(library).toStdString(), "");
    }

    // Starts the keyring; the test is skipped when it cannot run here.
    bool startKeyring()
    {
        if (const QString missing = TestKeyringDaemon::missingPrerequisite(); !missing.isNull()) {
            skipReason = missing;
            return false;
        }
        const QString problem =
            keyring.start(folder.filePath(QStringLiteral("run")), folder.filePath(QStringLiteral("keyring-home")));
        EXPECT_EQ(problem.toStdString(), "");
        return problem.isNull();
    }
    void writeSettings(const QByteArray &extra = {})
    {
        QDir().mkpath(QFileInfo(settingsFile).path());
        QFile file(settingsFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nMusicServerIPAddress=127.0.0.1\nSelectByIPAddress=true\nMusicServerUserName=ann\n"
                   "MountMethod=cifs\nVolumesFolder=" +
                   volumes.toUtf8() + "\n" + extra);
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QProcessEnvironment environment(bool withKeyring = true) const
    {
        QProcessEnvironment variables = cliEnvironment(home);
        if (withKeyring)
            keyring.addTo(variables);
        variables.insert(QStringLiteral("HOME"), home);
        variables.insert(QStringLiteral("PATH"), helpers + QLatin1Char(':') + variables.value(QStringLiteral("PATH")));
        return variables;
    }
    CliResult sync(const QProcessEnvironment &variables)
    {
        EXPECT_EQ(simulator.start(share(), folder.filePath(QStringLiteral("requests.log"))).toStdString(), "");
        QFile::remove(helpers + QStringLiteral("/mount.creds"));
        const CliResult result =
            runCli({QStringLiteral("sync"), QStringLiteral("--source"), library + QStringLiteral("/Library.xml"),
                    QStringLiteral("--entire-library"), QStringLiteral("--library-id"), QStringLiteral("E2E-KEYRING")},
                   variables, sharePassword);
        simulator.stop();
        return result;
    }
    // `orvanasync-cli password ...` with `input` on its standard input.
    CliResult password(const QStringList &arguments, const QProcessEnvironment &variables,
                       const QByteArray &input = {})
    {
        QProcess cli;
        cli.setProcessEnvironment(variables);
        cli.start(QStringLiteral(ORVANA_CLI_PATH), QStringList{QStringLiteral("password")} + arguments);
        EXPECT_TRUE(cli.waitForStarted());
        cli.write(input);
        cli.waitForBytesWritten();
        cli.closeWriteChannel();
        if (!cli.waitForFinished(30000)) {
            ADD_FAILURE() << "orvanasync-cli password did not finish";
            cli.kill();
            cli.waitForFinished();
        }
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                QString::fromUtf8(cli.readAllStandardError())};
    }
    QString share() const { return volumes + QStringLiteral("/OrvanaMusic"); }
    QByteArray mountedWith() const
    {
        QFile file(helpers + QStringLiteral("/mount.creds"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no mount)");
    }
    QByteArray settingsText() const
    {
        QFile file(settingsFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Every file under the test's folder that holds the password and that
    // others than its owner can read.
    QStringList readableCopies() const
    {
        QStringList found;
        QDirIterator it(folder.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            struct stat info {};
            if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
                continue;
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(sharePassword) && (info.st_mode & 077))
                found.append(path);
        }
        return found;
    }
    void expectNowhereInClear(const CliResult &result)
    {
        EXPECT_FALSE((result.out + result.err).toUtf8().contains(sharePassword));
        EXPECT_EQ(readableCopies(), QStringList());
        QFile arguments(helpers + QStringLiteral("/mount.args"));
        if (arguments.open(QIODevice::ReadOnly)) {
            EXPECT_FALSE(arguments.readAll().contains(sharePassword)) << "on the mount helper's command line";
        }
    }

    QTemporaryDir folder;
    QString home;
    QString library;
    QString volumes;
    QString helpers;
    QString settingsFile;
    QString skipReason;
    TestKeyringDaemon keyring;
    SimulatorProcess simulator;
};

TEST_F(KeyringEndToEndTest, AClearTextPasswordMovesIntoTheKeyringAndLaterRunsMountWithIt)
{
    if (!startKeyring())
        GTEST_SKIP() << skipReason.toStdString();
    writeSettings("MusicServerPassword=" + sharePassword + "\n");

    const CliResult first = sync(environment());
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString() << first.err.toStdString();
    EXPECT_EQ(mountedWith(), "username=ann\npassword=" + sharePassword + "\n");
    EXPECT_THAT(settingsText().toStdString(), Not(HasSubstr("MusicServerPassword")));
    EXPECT_THAT(settingsText().toStdString(), HasSubstr("MusicServerUserName=ann"));
    EXPECT_TRUE(QFile::exists(share() + QStringLiteral("/Library/E2E-KEYRING.xml")));
    EXPECT_THAT(first.err.toStdString(), Not(HasSubstr("notice")));
    expectNowhereInClear(first);

    // The file holds no password now: the keyring gives it.
    const CliResult second = sync(environment());
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(mountedWith(), "username=ann\npassword=" + sharePassword + "\n");
    expectNowhereInClear(second);

    // The password file and the variable still come first.
    QProcessEnvironment variables = environment();
    variables.insert(QStringLiteral("ORVANASYNC_PASSWORD"), QStringLiteral("from-the-variable"));
    ASSERT_EQ(sync(variables).exitCode, 0);
    EXPECT_EQ(mountedWith(), "username=ann\npassword=from-the-variable\n");
}

TEST_F(KeyringEndToEndTest, PasswordSetAndClearManageTheStoredOneAndTheFileNeverHoldsIt)
{
    if (!startKeyring())
        GTEST_SKIP() << skipReason.toStdString();
    writeSettings();
    const CliResult set = password({QStringLiteral("set")}, environment(), sharePassword + "\n");
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(set.out, QStringLiteral("The password of user ann on 127.0.0.1 is stored in the keyring\n"));
    EXPECT_FALSE(settingsText().contains(sharePassword));

    const CliResult run = sync(environment());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(mountedWith(), "username=ann\npassword=" + sharePassword + "\n");
    expectNowhereInClear(run);

    // Another user of the same server has a password of its own.
    ASSERT_EQ(password({QStringLiteral("set"), QStringLiteral("--user"), QStringLiteral("bob")}, environment(),
                       "bobs-pw\n")
                  .exitCode,
              0);
    const CliResult clear = password({QStringLiteral("clear")}, environment());
    ASSERT_EQ(clear.exitCode, 0) << clear.err.toStdString();
    ASSERT_EQ(sync(environment()).exitCode, 0);
    EXPECT_EQ(mountedWith(), "username=ann\npassword=\n") << "cleared: no password";
    EXPECT_FALSE(settingsText().contains("bobs-pw"));
}

TEST_F(KeyringEndToEndTest, WithoutASecretServiceTheSettingsFileKeepsThePasswordWithANotice)
{
    // A session bus with nobody on it, and no session bus at all.
    PrivateSessionBus bus;
    if (const QString missing = PrivateSessionBus::missingPrerequisite(); !missing.isNull())
        GTEST_SKIP() << missing.toStdString();
    ASSERT_EQ(bus.start(folder.filePath(QStringLiteral("bare-run"))).toStdString(), "");
    QProcessEnvironment emptyBus = environment(false);
    bus.addTo(emptyBus);
    writeSettings();

    const CliResult set = password({QStringLiteral("set")}, emptyBus, sharePassword + "\n");
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(set.err, QStringLiteral("orvanasync-cli: notice: no Secret Service here (no Secret Service (GNOME "
                                      "Keyring, KWallet) runs on the D-Bus session bus): the password is kept in "
                                      "the settings file %1, readable by you alone\n")
                           .arg(settingsFile));
    EXPECT_THAT(settingsText().toStdString(), HasSubstr("MusicServerPassword=" + sharePassword.toStdString()));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(settingsFile).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    for (const QProcessEnvironment &variables : {emptyBus, environment(false)}) {
        const CliResult run = sync(variables);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(mountedWith(), "username=ann\npassword=" + sharePassword + "\n");
        EXPECT_THAT(run.err.toStdString(), HasSubstr("orvanasync-cli: notice: no Secret Service here ("));
        EXPECT_EQ(run.err.count(QStringLiteral("notice")), 1) << run.err.toStdString();
        expectNowhereInClear(run);
    }
    EXPECT_THAT(settingsText().toStdString(), HasSubstr("MusicServerPassword=" + sharePassword.toStdString()))
        << "kept where no keyring runs";
}

} // namespace

#include "tests/e2e/DiscoveryNamespace.h"
#include "tests/e2e/EndToEndSupport.h"
#include "tests/e2e/ProcessTree.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The real orvanasync-cli and simulator against a real Avahi daemon, all in
// a network namespace of the test's own.
class DiscoveryEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        processtree::adoptOrphans();
        const QString why = network.start(folder.path());
        if (!why.isNull())
            GTEST_SKIP() << why.toStdString();
        library = folder.filePath(QStringLiteral("library"));
        share = folder.filePath(QStringLiteral("share"));
        requestLog = folder.filePath(QStringLiteral("requests.log"));
        QDir().mkpath(share);
        ASSERT_EQ(makeSampleLibrary(library).toStdString(), "");
    }
    void TearDown() override
    {
        processtree::stop(simulator);
        network.stop();
        // Everything the test started has ended.
        EXPECT_EQ(processtree::stopDescendants(3000), QStringList());
    }

    void startSimulator(const QString &name)
    {
        network.launch(simulator, QStringLiteral(ORVANA_SIMULATOR_PATH),
                       {QStringLiteral("--port"), QStringLiteral("8731"), QStringLiteral("--share"), share,
                        QStringLiteral("--log"), requestLog, QStringLiteral("--announce"), name});
        ASSERT_TRUE(simulator.waitForStarted());
        QByteArray seen;
        const QByteArray marker = "Announced as " + name.toUtf8() + '\n';
        ASSERT_TRUE(processtree::waitUntil([&] {
            simulator.waitForReadyRead(20);
            seen += simulator.readAllStandardOutput();
            return seen.contains(marker) || simulator.state() == QProcess::NotRunning;
        }, 15000) && seen.contains(marker))
            << seen.toStdString() << simulator.readAllStandardError().toStdString();
    }

    CliResult runCli(const QStringList &arguments, int timeoutMs = 60000)
    {
        QProcess cli;
        startCli(cli, arguments);
        if (!cli.waitForFinished(timeoutMs)) {
            ADD_FAILURE() << "orvanasync-cli did not finish within " << timeoutMs << " ms";
            cli.kill();
            cli.waitForFinished();
        }
        return finished(cli);
    }
    void startCli(QProcess &cli, const QStringList &arguments)
    {
        network.launch(cli, QStringLiteral(ORVANA_CLI_PATH), arguments);
        ASSERT_TRUE(cli.waitForStarted());
    }
    static CliResult finished(QProcess &cli)
    {
        return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
                QString::fromUtf8(cli.readAllStandardOutput()), QString::fromUtf8(cli.readAllStandardError())};
    }
    QStringList syncArguments(const QString &serverName, const QString &waitSeconds) const
    {
        return {QStringLiteral("sync"), QStringLiteral("--settings"), folder.filePath(QStringLiteral("settings.conf")),
                QStringLiteral("--source"), library + QStringLiteral("/Library.xml"), QStringLiteral("--server-name"),
                serverName, QStringLiteral("--wait"), waitSeconds, QStringLiteral("--share-folder"), share,
                QStringLiteral("--entire-library"), QStringLiteral("--library-name"), QStringLiteral("E2E Library"),
                QStringLiteral("--library-id"), QStringLiteral("E2E-LIBRARY")};
    }
    // The refresh requests the simulator logged; it is stopped first, as
    // its log is complete only then.
    int refreshRequests()
    {
        processtree::stop(simulator);
        QFile log(requestLog);
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        int count = 0;
        for (const QByteArray &line : log.readAll().split('\n')) {
            if (QJsonDocument::fromJson(line).object().value(QStringLiteral("operation")).toString() ==
                QLatin1String("RefreshMediaCollectionByMediaType"))
                ++count;
        }
        return count;
    }

    QTemporaryDir folder;
    DiscoveryNamespace network;
    QProcess simulator;
    QString library;
    QString share;
    QString requestLog;
};

TEST_F(DiscoveryEndToEndTest, TheAnnouncedServerIsListedAndASyncPicksItByNameInAnotherLetterCase)
{
    startSimulator(QStringLiteral("Living Room"));
    const CliResult servers = runCli({QStringLiteral("servers"), QStringLiteral("--wait"), QStringLiteral("10")});
    EXPECT_EQ(servers.exitCode, 0) << servers.err.toStdString();
    EXPECT_EQ(servers.out, QStringLiteral("Living Room\t127.0.0.1\t8731\n"));
    EXPECT_THAT(servers.err.toStdString(), HasSubstr("IP Address = 127.0.0.1\nPort Number = 8731\n"));

    const CliResult sync = runCli(syncArguments(QStringLiteral("LIVING ROOM"), QStringLiteral("10")));
    EXPECT_EQ(sync.exitCode, 0) << sync.out.toStdString() << sync.err.toStdString();
    EXPECT_THAT(sync.out.toStdString(), HasSubstr("Successfully Refreshed Orvana Media Library"));
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Library/E2E-LIBRARY.xml")));
    EXPECT_EQ(refreshRequests(), 1);
}

TEST_F(DiscoveryEndToEndTest, AWithdrawnAnnouncementDisappears)
{
    startSimulator(QStringLiteral("Living Room"));
    ASSERT_EQ(runCli({QStringLiteral("servers")}).out, QStringLiteral("Living Room\t127.0.0.1\t8731\n"));
    processtree::stop(simulator);
    // The daemon withdraws a client's announcements when it goes.
    CliResult servers;
    EXPECT_TRUE(processtree::waitUntil([&] {
        servers = runCli({QStringLiteral("servers")});
        return servers.out.isEmpty();
    }, 15000)) << servers.out.toStdString();
    EXPECT_EQ(servers.exitCode, 0);

    const CliResult sync = runCli(syncArguments(QStringLiteral("Living Room"), QStringLiteral("2")));
    EXPECT_EQ(sync.exitCode, 2);
    EXPECT_THAT(sync.err.toStdString(), HasSubstr("no server announced as \"Living Room\" was found"));
    EXPECT_FALSE(QFile::exists(share + QStringLiteral("/Library/E2E-LIBRARY.xml")));
}

TEST_F(DiscoveryEndToEndTest, KillingTheDaemonMidBrowseLeavesTheProgramWorkingAndItBrowsesAgainWhenTheDaemonReturns)
{
    QProcess cli;
    startCli(cli, syncArguments(QStringLiteral("Living Room"), QStringLiteral("40")));
    // Browsing is under way, with nothing announced yet.
    QThread::msleep(1500);
    network.killAvahi();
    QThread::msleep(500);
    ASSERT_EQ(cli.state(), QProcess::Running) << cli.readAllStandardError().toStdString();
    ASSERT_EQ(network.startAvahi().toStdString(), "");
    startSimulator(QStringLiteral("Living Room"));

    if (!cli.waitForFinished(60000)) {
        cli.kill();
        cli.waitForFinished();
        FAIL() << "orvanasync-cli did not finish";
    }
    const CliResult sync = finished(cli);
    EXPECT_EQ(sync.exitCode, 0) << sync.out.toStdString() << sync.err.toStdString();
    EXPECT_EQ(sync.out.count(QStringLiteral("Server discovery is not available")), 1) << sync.out.toStdString();
    EXPECT_THAT(sync.out.toStdString(), HasSubstr("Successfully Refreshed Orvana Media Library"));
    EXPECT_EQ(refreshRequests(), 1);
}

TEST_F(DiscoveryEndToEndTest, WithoutTheDaemonServersSaysDiscoveryIsNotAvailable)
{
    network.killAvahi();
    const CliResult servers = runCli({QStringLiteral("servers")});
    EXPECT_EQ(servers.exitCode, 1);
    EXPECT_THAT(servers.err.toStdString(), HasSubstr("server discovery is not available"));
    EXPECT_EQ(servers.out, QString());
}

} // namespace

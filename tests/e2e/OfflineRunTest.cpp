#include "tests/e2e/EndToEndSupport.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// orvanasync-cli on a machine whose only interface is loopback (a network
// namespace of the test's own: no route, as on a laptop offline). The
// refresh reports the network as unavailable while its request is still
// under way when the run ends; the program must end cleanly every time.
TEST(OfflineRunTest, ARunWithOnlyLoopbackUpEndsCleanlyEveryTime)
{
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (unshare.isEmpty() || ip.isEmpty())
        GTEST_SKIP() << "unshare or ip is missing";
    QProcess probe;
    probe.start(unshare, {QStringLiteral("-rn"), ip, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                          QStringLiteral("up")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "no network namespace can be made here: " << probe.readAllStandardError().toStdString();

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString library = folder.filePath(QStringLiteral("library"));
    const QString share = folder.filePath(QStringLiteral("share"));
    QDir().mkpath(share);
    ASSERT_EQ(makeSampleLibrary(library).toStdString(), "");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), folder.path());
    environment.insert(QStringLiteral("ORVANASYNC_REFRESH_WAIT_MS"), QStringLiteral("2000"));

    for (int round = 0; round < 25; ++round) {
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(unshare, {QStringLiteral("-rn"), QStringLiteral("sh"), QStringLiteral("-c"),
                            QStringLiteral("\"$0\" link set lo up && exec \"$@\""), ip, QStringLiteral(ORVANA_CLI_PATH),
                            QStringLiteral("sync"), QStringLiteral("--settings"),
                            folder.filePath(QStringLiteral("settings.conf")), QStringLiteral("--source"),
                            library + QStringLiteral("/Library.xml"), QStringLiteral("--server"),
                            QStringLiteral("127.0.0.1"), QStringLiteral("--share-folder"), share,
                            QStringLiteral("--library-id"), QStringLiteral("OFFLINE"), QStringLiteral("--entire-library")});
        ASSERT_TRUE(cli.waitForFinished(60000));
        const QByteArray out = cli.readAllStandardOutput();
        const QByteArray err = cli.readAllStandardError();
        // sh execs the program: a crash shows as a crash exit.
        ASSERT_EQ(cli.exitStatus(), QProcess::NormalExit) << "round " << round;
        ASSERT_EQ(cli.exitCode(), 1) << "round " << round << "\n" << out.toStdString() << err.toStdString();
        EXPECT_TRUE(out.contains("Completed synchronization")) << out.toStdString();
    }
}

} // namespace

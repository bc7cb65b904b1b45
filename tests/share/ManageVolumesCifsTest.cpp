#include "share/CifsShareMounter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A stand-in for mount.cifs that records its arguments, its PASSWD
// variable, and the content and mode of the credentials file it is given.
const char *const fakeMountCifs = R"(#!/bin/sh
out="$(dirname "$0")/record"
printf '%s\n' "$@" > "$out.args"
printf '%s' "${PASSWD-unset}" > "$out.env"
creds=$(printf '%s' "$4" | sed -n 's/^credentials=\([^,]*\),.*/\1/p')
stat -c '%a' "$creds" > "$out.mode"
cat "$creds" > "$out.creds"
exit "${FAKE_MOUNT_STATUS:-0}"
)";

class CifsShareMounterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        program = folder.filePath(QStringLiteral("mount.cifs"));
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(fakeMountCifs);
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        request.shareUrl = QStringLiteral("smb://nas/OrvanaMusic");
        request.server = QStringLiteral("nas");
        request.shareName = QStringLiteral("OrvanaMusic");
        request.userName = QStringLiteral("ann,smith");
        request.password = QStringLiteral("pa ss,word=1");
        qputenv("PASSWD", "inherited-secret");
    }
    void TearDown() override
    {
        qunsetenv("PASSWD");
        qunsetenv("FAKE_MOUNT_STATUS");
    }
    QByteArray recorded(const char *suffix) const
    {
        QFile file(folder.filePath(QStringLiteral("record")) + QLatin1String(suffix));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    }

    QTemporaryDir folder;
    QString program;
    MountRequest request;
};

TEST_F(CifsShareMounterTest, CredentialsGoThroughAPrivateFileNeverTheCommandLine)
{
    const QString volumes = folder.filePath(QStringLiteral("volumes"));
    const MountOutcome outcome = CifsShareMounter(volumes, program).mount(request);
    ASSERT_TRUE(outcome.succeeded()) << outcome.reason.toStdString();
    EXPECT_EQ(outcome.mountPoint, volumes + QStringLiteral("/OrvanaMusic"));
    EXPECT_TRUE(QFileInfo(outcome.mountPoint).isDir());

    const QByteArray arguments = recorded(".args");
    const QByteArray expectedStart = QByteArray("//nas/OrvanaMusic\n") + outcome.mountPoint.toUtf8() + QByteArray("\n-o\ncredentials=");
    EXPECT_TRUE(arguments.startsWith(expectedStart))
        << arguments.toStdString();
    EXPECT_FALSE(arguments.contains("pa ss")) << arguments.toStdString();
    EXPECT_FALSE(arguments.contains("ann,smith"));
    EXPECT_EQ(recorded(".env"), "unset");
    EXPECT_EQ(recorded(".mode"), "600\n");
    EXPECT_EQ(recorded(".creds"), "username=ann,smith\npassword=pa ss,word=1\n");

    // The credentials file is gone once the mount has answered.
    const QString credentialsPath =
        QString::fromUtf8(arguments.mid(arguments.indexOf("credentials=") + 12).split(',').first());
    EXPECT_FALSE(QFileInfo::exists(credentialsPath)) << credentialsPath.toStdString();
}

TEST_F(CifsShareMounterTest, VolNameChoosesTheMountDirectory)
{
    request.volName = QStringLiteral("Elsewhere");
    const MountOutcome outcome = CifsShareMounter(folder.path(), program).mount(request);
    ASSERT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.mountPoint, folder.filePath(QStringLiteral("Elsewhere")));
}

TEST_F(CifsShareMounterTest, ANonZeroExitIsTheStatusOfAFailedMount)
{
    qputenv("FAKE_MOUNT_STATUS", "32");
    const MountOutcome outcome = CifsShareMounter(folder.path(), program).mount(request);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.status, 32);
    EXPECT_TRUE(outcome.mountPoint.isEmpty());
}

TEST_F(CifsShareMounterTest, AMissingProgramFailsCleanly)
{
    const MountOutcome outcome =
        CifsShareMounter(folder.path(), folder.filePath(QStringLiteral("no-such-mount.cifs"))).mount(request);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_NE(outcome.status, 0);
}

TEST_F(CifsShareMounterTest, APasswordWithALineBreakIsRefusedBeforeAnythingRuns)
{
    request.password = QStringLiteral("a\nusername=root");
    const MountOutcome outcome = CifsShareMounter(folder.path(), program).mount(request);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(recorded(".args"), "missing");
}

} // namespace

#include "share/ManageVolumes.h"

#include <QtGlobal>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// The system log is mirrored on standard error so the tests can read it;
// set before the first log line of the process.
const bool systemLogMirrored = qputenv("ORVANA_SYSLOG_STDERR", "1");

class FakeMountService : public MountService {
public:
    QList<MountedVolume> volumes;
    MountOutcome answer;
    QList<MountRequest> requests;
    int listings = 0;

    QList<MountedVolume> mountedVolumes() override
    {
        ++listings;
        return volumes;
    }
    MountOutcome mount(const MountRequest &request) override
    {
        requests.append(request);
        return answer;
    }
};

class ManageVolumesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(systemLogMirrored);
        ManageVolumes::setMountService(fake);
    }
    void TearDown() override { ManageVolumes::setMountService(nullptr); }

    std::shared_ptr<FakeMountService> fake = std::make_shared<FakeMountService>();
};

TEST_F(ManageVolumesTest, ShareUrlEscapesBlanksAndNonAsciiButKeepsSeparators)
{
    EXPECT_EQ(ManageVolumes::shareUrl(QStringLiteral("192.168.1.20"), QStringLiteral("OrvanaMusic")),
              QStringLiteral("smb://192.168.1.20/OrvanaMusic"));
    EXPECT_EQ(ManageVolumes::shareUrl(QStringLiteral("my server"), QStringLiteral("OrvanaMusic")),
              QStringLiteral("smb://my%20server/OrvanaMusic"));
    EXPECT_EQ(ManageVolumes::shareUrl(QStringLiteral("k\u00fcche"), QStringLiteral("A%B")),
              QStringLiteral("smb://k%C3%BCche/A%25B"));
    EXPECT_EQ(ManageVolumes::shareUrl(QStringLiteral("host:445"), QStringLiteral("x")),
              QStringLiteral("smb://host:445/x"));
}

TEST_F(ManageVolumesTest, MountPassesCredentialsUnchangedAndReportsTheMountPoint)
{
    fake->answer = {0, QStringLiteral("/run/user/1000/gvfs/smb-share:server=nas,share=orvanamusic"), {}};
    QString mountPoint;
    EXPECT_TRUE(ManageVolumes::mountServerShare(QStringLiteral("nas"), QStringLiteral("OrvanaMusic"), QString(),
                                                QStringLiteral(""), QStringLiteral(""), &mountPoint));
    EXPECT_EQ(mountPoint, fake->answer.mountPoint);
    ASSERT_EQ(fake->requests.size(), 1);
    const MountRequest &request = fake->requests.first();
    EXPECT_EQ(request.shareUrl, QStringLiteral("smb://nas/OrvanaMusic"));
    EXPECT_EQ(request.server, QStringLiteral("nas"));
    EXPECT_EQ(request.shareName, QStringLiteral("OrvanaMusic"));
    EXPECT_TRUE(request.volName.isNull());
    EXPECT_TRUE(request.userName.isEmpty());
    EXPECT_TRUE(request.password.isEmpty());
}

TEST_F(ManageVolumesTest, FailedMountLogsTheEscapedUrlAndStatusButNeverThePassword)
{
    fake->answer = {13, {}, QStringLiteral("permission denied")};
    QString mountPoint = QStringLiteral("untouched");
    QString failure;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ManageVolumes::mountServerShare(QStringLiteral("my server"), QStringLiteral("OrvanaMusic"), QString(),
                                                 QStringLiteral("ann"), QStringLiteral("s3cret-pass"), &mountPoint,
                                                 &failure));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_THAT(log, HasSubstr("Sync mount failed for server smb://my%20server/OrvanaMusic, error: 13\n"));
    EXPECT_THAT(log, Not(HasSubstr("s3cret-pass")));
    EXPECT_EQ(mountPoint, QStringLiteral("untouched"));
    EXPECT_EQ(failure, QStringLiteral("permission denied"));

    // Several lines (mount.cifs): one; none: the status.
    fake->answer = {32, {}, QStringLiteral("mount error(13): Permission denied\nRefer to the mount.cifs(8) manual page\n")};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ManageVolumes::mountServerShare(QStringLiteral("nas"), QStringLiteral("OrvanaMusic"), QString(),
                                                 QString(), QString(), nullptr, &failure));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(failure, QStringLiteral("mount error(13): Permission denied; Refer to the mount.cifs(8) manual page"));
    fake->answer = {110, {}, {}};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ManageVolumes::mountServerShare(QStringLiteral("nas"), QStringLiteral("OrvanaMusic"), QString(),
                                                 QString(), QString(), nullptr, &failure));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(failure, QStringLiteral("error 110"));
}

TEST_F(ManageVolumesTest, VolumeNamesCompareIgnoringCaseAndGiveTheMountPoint)
{
    fake->volumes = {{QStringLiteral(""), QStringLiteral("/")},
                     {QStringLiteral("orvanamusic"), QStringLiteral("/mnt/orvanamusic")}};
    QString mountPoint;
    EXPECT_TRUE(ManageVolumes::isVolumeMounted(QStringLiteral("OrvanaMusic"), &mountPoint));
    EXPECT_EQ(mountPoint, QStringLiteral("/mnt/orvanamusic"));
    EXPECT_TRUE(fake->requests.isEmpty());
}

TEST_F(ManageVolumesTest, NoMatchingVolumeExaminesEveryVolumeOnceAndLogsNoName)
{
    fake->volumes = {{QStringLiteral("boot"), QStringLiteral("/boot")},
                     {QStringLiteral("OrvanaMusic2"), QStringLiteral("/mnt/OrvanaMusic2")},
                     {QStringLiteral("home"), QStringLiteral("/home")}};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ManageVolumes::isVolumeMounted(QStringLiteral("OrvanaMusic")));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fake->listings, 1);
    // The names are a debug trace (ORVANA_DEBUG_LOG=1), not a line of every run.
    EXPECT_EQ(log, "");
}

} // namespace

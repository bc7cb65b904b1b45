#include "share/ShareRunLock.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A process id that no process has: a child that has ended and been reaped.
qint64 endedProcessId()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

QString thisHost()
{
    const QByteArray line = ShareRunLock::holderLine().toUtf8();
    const qsizetype start = line.indexOf("host=") + 5;
    return QString::fromUtf8(line.mid(start, line.indexOf(' ', start) - start));
}

class ShareRunLockTest : public ::testing::TestWithParam<ShareRunLock::Method> {
protected:
    QTemporaryDir folder;
    QString lockPath = folder.filePath(QStringLiteral(".LIB.lock"));
};

} // namespace

TEST_P(ShareRunLockTest, ASecondRunIsRefusedWithTheHolderNamedUntilTheFirstEnds)
{
    QString refusal;
    auto first = ShareRunLock::acquire(lockPath, &refusal, GetParam());
    ASSERT_TRUE(first) << refusal.toStdString();
    EXPECT_TRUE(contentOf(lockPath).startsWith(QStringLiteral("pid=%1 ").arg(::getpid()).toUtf8()));

    EXPECT_FALSE(ShareRunLock::acquire(lockPath, &refusal, GetParam()));
    EXPECT_TRUE(refusal.contains(QStringLiteral("process %1 on host \"%2\"").arg(::getpid()).arg(thisHost())))
        << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(lockPath)) << refusal.toStdString();

    first.reset();
    EXPECT_FALSE(QFileInfo::exists(lockPath));
    auto second = ShareRunLock::acquire(lockPath, &refusal, GetParam());
    EXPECT_TRUE(second) << refusal.toStdString();
}

TEST_P(ShareRunLockTest, TheLockOfAKilledRunIsTakenOver)
{
    // A child takes the lock and is killed holding it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        QString ignored;
        auto lock = ShareRunLock::acquire(lockPath, &ignored, GetParam());
        const char byte = lock ? 'y' : 'n';
        (void)!::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    QString refusal;
    EXPECT_FALSE(ShareRunLock::acquire(lockPath, &refusal, GetParam()));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_TRUE(contentOf(lockPath).startsWith(QStringLiteral("pid=%1 ").arg(child).toUtf8()));

    auto lock = ShareRunLock::acquire(lockPath, &refusal, GetParam());
    ASSERT_TRUE(lock) << refusal.toStdString();
    EXPECT_TRUE(contentOf(lockPath).startsWith(QStringLiteral("pid=%1 ").arg(::getpid()).toUtf8()));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral(".LIB.lock")});
}

TEST(ShareRunLockByCreation, AHolderOnAnotherHostIsNeverTakenForStale)
{
    QTemporaryDir folder;
    const QString lockPath = folder.filePath(QStringLiteral(".LIB.lock"));
    write(lockPath, QStringLiteral("pid=%1 host=elsewhere-%2 start=1 since=2026-01-01T00:00:00Z\n")
                        .arg(endedProcessId())
                        .arg(thisHost())
                        .toUtf8());
    QString refusal;
    const auto lock = ShareRunLock::acquire(lockPath, &refusal, ShareRunLock::Method::ExclusiveCreationOnly);
    EXPECT_FALSE(lock);
    EXPECT_TRUE(refusal.contains(QStringLiteral("on host \"elsewhere-"))) << refusal.toStdString();
    EXPECT_TRUE(contentOf(lockPath).contains("elsewhere-"));
}

TEST(ShareRunLockByCreation, AnEmptyLockFileIsHeldWhileFreshAndTakenOverOnceAbandoned)
{
    QTemporaryDir folder;
    const QString lockPath = folder.filePath(QStringLiteral(".LIB.lock"));
    // Just created by a run that has not written its line yet.
    write(lockPath, {});
    QString refusal;
    EXPECT_FALSE(ShareRunLock::acquire(lockPath, &refusal, ShareRunLock::Method::ExclusiveCreationOnly));
    EXPECT_TRUE(refusal.contains(QStringLiteral("a run that has not said who it is"))) << refusal.toStdString();

    // Left empty for minutes: its run was killed between creating and writing it.
    QFile file(lockPath);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-300), QFileDevice::FileModificationTime));
    file.close();
    const auto lock = ShareRunLock::acquire(lockPath, &refusal, ShareRunLock::Method::ExclusiveCreationOnly);
    ASSERT_TRUE(lock) << refusal.toStdString();
    EXPECT_TRUE(contentOf(lockPath).startsWith(QStringLiteral("pid=%1 ").arg(::getpid()).toUtf8()));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral(".LIB.lock")});
}

TEST_P(ShareRunLockTest, ALockThatIsNotAFileOrLeadsElsewhereIsRefused)
{
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("target"));
    write(target, "keep");
    ASSERT_TRUE(QFile::link(target, lockPath));
    QString refusal;
    EXPECT_FALSE(ShareRunLock::acquire(lockPath, &refusal, GetParam()));
    EXPECT_TRUE(refusal.contains(QStringLiteral("cannot take the lock file"))
                || refusal.contains(QStringLiteral("a run that has not said who it is")))
        << refusal.toStdString();
    EXPECT_EQ(contentOf(target), QByteArray("keep"));
}

INSTANTIATE_TEST_SUITE_P(Methods, ShareRunLockTest,
                         ::testing::Values(ShareRunLock::Method::FlockWhereSupported,
                                           ShareRunLock::Method::ExclusiveCreationOnly));

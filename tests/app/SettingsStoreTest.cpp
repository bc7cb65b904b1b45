#include "app/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString fileName() const { return folder.filePath(QStringLiteral("config/OrvanaSync/OrvanaSync.conf")); }

    QTemporaryDir folder;
};

const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

int modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

TEST_F(SettingsStoreTest, StoredValuesSurviveANewStoreAndTheFileIsTheUsersAlone)
{
    {
        SettingsStore store(fileName());
        ASSERT_TRUE(store.setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("s3cret")));
        ASSERT_TRUE(store.setValue(SettingsStore::SyncEntireLibraryKey, false));
        ASSERT_TRUE(store.setValue(SettingsStore::MusicSourcePathMapKey,
                                   QStringList{QStringLiteral("file:///C:/Music/=/home/ann/Music/")}));
    }
    EXPECT_EQ(modeOf(fileName()), 0600);
    SettingsStore store(fileName());
    EXPECT_EQ(store.string(SettingsStore::MusicServerPasswordKey), QStringLiteral("s3cret"));
    EXPECT_FALSE(store.boolean(SettingsStore::SyncEntireLibraryKey));
    EXPECT_EQ(store.stringList(SettingsStore::MusicSourcePathMapKey),
              QStringList{QStringLiteral("file:///C:/Music/=/home/ann/Music/")});
}

TEST_F(SettingsStoreTest, AFileOthersCouldReadIsRestrictedAtTheNextWrite)
{
    SettingsStore first(fileName());
    ASSERT_TRUE(first.setValue(SettingsStore::ITunesLibraryNameKey, QStringLiteral("Ann")));
    ASSERT_TRUE(QFile::setPermissions(fileName(), ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    SettingsStore store(fileName());
    ASSERT_TRUE(store.setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("pw")));
    EXPECT_EQ(modeOf(fileName()), 0600);
}

TEST_F(SettingsStoreTest, RegisteredDefaultsStandInForMissingKeysOnly)
{
    SettingsStore store(fileName());
    store.registerDefaults(SettingsStore::builtInDefaults());
    EXPECT_TRUE(store.boolean(SettingsStore::SyncEntireLibraryKey));
    EXPECT_TRUE(store.string(SettingsStore::iTunesGUIDKey).isNull());
    ASSERT_TRUE(store.setValue(SettingsStore::SyncEntireLibraryKey, false));
    EXPECT_FALSE(store.boolean(SettingsStore::SyncEntireLibraryKey));
    ASSERT_TRUE(store.remove(SettingsStore::SyncEntireLibraryKey));
    EXPECT_TRUE(store.boolean(SettingsStore::SyncEntireLibraryKey));
}

TEST_F(SettingsStoreTest, AnUnwritableLocationIsReportedNotIgnored)
{
    QFile blocker(folder.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore store(folder.filePath(QStringLiteral("file/below/a/file.conf")));
    EXPECT_FALSE(store.setValue(SettingsStore::iTunesGUIDKey, QStringLiteral("X")));
}

TEST_F(SettingsStoreTest, NewFoldersAreTheUsersAloneWhateverTheUmask)
{
    const mode_t previous = ::umask(0);
    SettingsStore store(fileName());
    const bool stored = store.setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("pw"));
    ::umask(previous);
    ASSERT_TRUE(stored);
    EXPECT_EQ(modeOf(folder.filePath(QStringLiteral("config"))), 0700);
    EXPECT_EQ(modeOf(folder.filePath(QStringLiteral("config/OrvanaSync"))), 0700);
    EXPECT_EQ(modeOf(fileName()), 0600);
}

TEST_F(SettingsStoreTest, ASymbolicLinkInThePlaceOfTheFileIsNeverFollowed)
{
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("victim"));
    QFile victim(target);
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("precious\n");
    victim.close();
    ASSERT_TRUE(QFile::setPermissions(target, ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("config/OrvanaSync"))));
    ASSERT_TRUE(QFile::link(target, fileName()));

    SettingsStore store(fileName());
    EXPECT_FALSE(store.setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("pw")));
    ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
    EXPECT_EQ(victim.readAll(), QByteArray("precious\n"));
    EXPECT_EQ(modeOf(target), 0644);
}

} // namespace

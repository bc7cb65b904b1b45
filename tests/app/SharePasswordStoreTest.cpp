#include "app/SharePasswordStore.h"

#include "app/SettingsStore.h"
#include "tests/secrets/FakePasswordKeyring.h"

#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using ::testing::HasSubstr;
using State = FakePasswordKeyring::State;

class SharePasswordStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        settings = std::make_unique<SettingsStore>(fileName());
        settings->setValue(SettingsStore::MusicServerNameKey, QStringLiteral("Living Room"));
        settings->setValue(SettingsStore::MusicServerIPAddressKey, QStringLiteral("192.168.1.20"));
        settings->setValue(SettingsStore::MusicServerUserNameKey, QStringLiteral("ann"));
    }
    QString fileName() const { return folder.filePath(QStringLiteral("OrvanaSync.conf")); }
    QByteArray fileText() const
    {
        QFile file(fileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    SharePasswordStore passwords() { return SharePasswordStore(*settings, keyring); }
    // What the file would say to a new reader.
    QString passwordInFile() const
    {
        return SettingsStore(fileName()).string(SettingsStore::MusicServerPasswordKey);
    }

    QTemporaryDir folder;
    std::unique_ptr<SettingsStore> settings;
    std::shared_ptr<FakePasswordKeyring> keyring = std::make_shared<FakePasswordKeyring>();
};

const QPair<QString, QString> livingRoomAnn{QStringLiteral("Living Room"), QStringLiteral("ann")};

TEST_F(SharePasswordStoreTest, TheStoredServerIsTheChosenNameOrTheAddressWhenChosenByAddress)
{
    EXPECT_EQ(SharePasswordStore::storedServer(*settings), QStringLiteral("Living Room"));
    settings->setValue(SettingsStore::SelectByIPAddressKey, true);
    EXPECT_EQ(SharePasswordStore::storedServer(*settings), QStringLiteral("192.168.1.20"));
    settings->setValue(SettingsStore::SelectByIPAddressKey, false);
    settings->remove(SettingsStore::MusicServerNameKey);
    EXPECT_EQ(SharePasswordStore::storedServer(*settings), QStringLiteral("192.168.1.20")) << "no name: the address";
    EXPECT_EQ(SharePasswordStore::storedUser(*settings), QStringLiteral("ann"));
}

TEST_F(SharePasswordStoreTest, AClearTextPasswordMovesIntoTheKeyringOnFirstUseAndLeavesTheFile)
{
    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("old clear text"));
    SharePasswordStore store = passwords();
    EXPECT_EQ(store.password(QStringLiteral("Living Room"), QStringLiteral("ann")), QStringLiteral("old clear text"));
    EXPECT_EQ(keyring->items.value(livingRoomAnn), QStringLiteral("old clear text"));
    EXPECT_TRUE(passwordInFile().isNull());
    EXPECT_FALSE(fileText().contains("old clear text"));
    EXPECT_TRUE(store.notice().isNull());

    // Moved once: the next use finds it in the keyring only.
    keyring->calls.clear();
    EXPECT_EQ(store.password(QStringLiteral("Living Room"), QStringLiteral("ann")), QStringLiteral("old clear text"));
    EXPECT_EQ(keyring->calls, QStringList{QStringLiteral("lookup Living Room ann")});
}

TEST_F(SharePasswordStoreTest, TheMovedPasswordBelongsToTheStoredServerAndServesARunOnAnotherAsBefore)
{
    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("pw"));
    SharePasswordStore store = passwords();
    // A run with --server 10.0.0.5: nothing stored for it, so the settings' own password.
    EXPECT_EQ(store.password(QStringLiteral("10.0.0.5"), QStringLiteral("ann")), QStringLiteral("pw"));
    EXPECT_EQ(keyring->items.keys(), QList{livingRoomAnn});
    // One stored for that server wins.
    keyring->items.insert({QStringLiteral("10.0.0.5"), QStringLiteral("ann")}, QStringLiteral("its own"));
    EXPECT_EQ(store.password(QStringLiteral("10.0.0.5"), QStringLiteral("ann")), QStringLiteral("its own"));
    // Nothing anywhere: no password.
    keyring->items.clear();
    EXPECT_TRUE(store.password(QStringLiteral("10.0.0.5"), QStringLiteral("bob")).isNull());
}

TEST_F(SharePasswordStoreTest, WithoutASecretServiceTheFileKeepsThePasswordWithANotice)
{
    keyring->state = State::NoService;
    SharePasswordStore store = passwords();
    ASSERT_TRUE(store.save(QStringLiteral("Living Room"), QStringLiteral("ann"), QStringLiteral("typed")));
    EXPECT_EQ(passwordInFile(), QStringLiteral("typed"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(fileName()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(store.notice(), QStringLiteral("no Secret Service here (there is no D-Bus session bus): the password is "
                                             "kept in the settings file %1, readable by you alone")
                                  .arg(fileName()));
    EXPECT_FALSE(store.notice().contains(QLatin1Char('\n')));

    EXPECT_EQ(store.password(QStringLiteral("Living Room"), QStringLiteral("ann")), QStringLiteral("typed"));
    EXPECT_THAT(store.notice().toStdString(), HasSubstr("the password is kept in the settings file"));
    // Nothing stored: nothing to say.
    settings->remove(SettingsStore::MusicServerPasswordKey);
    EXPECT_TRUE(store.password(QStringLiteral("Living Room"), QStringLiteral("ann")).isNull());
    EXPECT_TRUE(store.notice().isNull());
}

TEST_F(SharePasswordStoreTest, AKeyringThatFailsLosesNothing)
{
    keyring->state = State::Failing;
    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("clear"));
    SharePasswordStore store = passwords();
    EXPECT_EQ(store.password(QStringLiteral("Living Room"), QStringLiteral("ann")), QStringLiteral("clear"));
    EXPECT_EQ(passwordInFile(), QStringLiteral("clear")) << "not removed when the keyring did not take it";
    EXPECT_THAT(store.notice().toStdString(),
                HasSubstr("the keyring did not take the password (the collection is locked): the password is kept"));

    ASSERT_TRUE(store.save(QStringLiteral("Living Room"), QStringLiteral("ann"), QStringLiteral("new")));
    EXPECT_EQ(passwordInFile(), QStringLiteral("new"));
    EXPECT_FALSE(store.notice().isNull());

    // Back again: the next use moves it.
    keyring->state = State::Running;
    EXPECT_EQ(store.password(QStringLiteral("Living Room"), QStringLiteral("ann")), QStringLiteral("new"));
    EXPECT_TRUE(passwordInFile().isNull());
    EXPECT_EQ(keyring->items.value(livingRoomAnn), QStringLiteral("new"));
}

TEST_F(SharePasswordStoreTest, SavingPutsThePasswordInTheKeyringAndNeverInTheFile)
{
    SharePasswordStore store = passwords();
    ASSERT_TRUE(store.save(QStringLiteral("Kitchen"), QStringLiteral("carol"), QStringLiteral("typed")));
    EXPECT_EQ(keyring->items.value({QStringLiteral("Kitchen"), QStringLiteral("carol")}), QStringLiteral("typed"));
    EXPECT_FALSE(settings->isStored(SettingsStore::MusicServerPasswordKey));
    EXPECT_TRUE(store.notice().isNull());

    // A clear-text copy left in the file goes when a new one is saved.
    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("stale"));
    ASSERT_TRUE(store.save(QStringLiteral("Kitchen"), QStringLiteral("carol"), QStringLiteral("newer")));
    EXPECT_TRUE(passwordInFile().isNull());
    EXPECT_FALSE(fileText().contains("stale"));
}

TEST_F(SharePasswordStoreTest, AnEmptyOrClearedPasswordIsRemovedEverywhere)
{
    keyring->items.insert(livingRoomAnn, QStringLiteral("pw"));
    keyring->items.insert({QStringLiteral("Kitchen"), QStringLiteral("ann")}, QStringLiteral("other"));
    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral(""));
    SharePasswordStore store = passwords();
    // An empty field saved at exit.
    ASSERT_TRUE(store.save(QStringLiteral("Living Room"), QStringLiteral("ann"), QStringLiteral("")));
    EXPECT_FALSE(keyring->items.contains(livingRoomAnn));
    EXPECT_FALSE(settings->isStored(SettingsStore::MusicServerPasswordKey));
    EXPECT_EQ(keyring->items.size(), 1) << "other servers keep theirs";

    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("clear"));
    keyring->state = State::NoService;
    ASSERT_TRUE(store.clear(QStringLiteral("Living Room"), QStringLiteral("ann")));
    EXPECT_FALSE(settings->isStored(SettingsStore::MusicServerPasswordKey)) << "the file's copy goes without a keyring too";

    keyring->state = State::Failing;
    EXPECT_FALSE(store.clear(QStringLiteral("Kitchen"), QStringLiteral("ann")));
    EXPECT_THAT(store.error().toStdString(), HasSubstr("the keyring did not remove the password"));
}

TEST_F(SharePasswordStoreTest, AnEmptyClearTextPasswordIsDroppedWhereAKeyringRuns)
{
    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral(""));
    SharePasswordStore store = passwords();
    EXPECT_TRUE(store.password(QStringLiteral("Living Room"), QStringLiteral("ann")).isEmpty());
    EXPECT_FALSE(settings->isStored(SettingsStore::MusicServerPasswordKey));
    EXPECT_TRUE(keyring->items.isEmpty()) << "an empty password is none";
}

TEST_F(SharePasswordStoreTest, ARunThatWritesNothingLeavesTheClearTextWhereItIs)
{
    settings->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("clear"));
    SharePasswordStore store = passwords();
    using ClearText = SharePasswordStore::ClearText;
    EXPECT_EQ(store.password(QStringLiteral("Living Room"), QStringLiteral("ann"), ClearText::Leave),
              QStringLiteral("clear"));
    keyring->items.insert({QStringLiteral("Kitchen"), QStringLiteral("ann")}, QStringLiteral("kitchen's"));
    EXPECT_EQ(store.password(QStringLiteral("Kitchen"), QStringLiteral("ann"), ClearText::Leave),
              QStringLiteral("kitchen's"));
    EXPECT_EQ(passwordInFile(), QStringLiteral("clear"));
    EXPECT_FALSE(keyring->items.contains(livingRoomAnn));
}

} // namespace

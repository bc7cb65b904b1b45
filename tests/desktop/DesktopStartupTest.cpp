#include "app/SelectedPlaylistsArchive.h"
#include "app/Settings.h"
#include "app/SettingsStore.h"
#include "desktop/MainWindow.h"
#include "desktop/SettingsTabView.h"
#include "desktop/SyncPageView.h"
#include "desktop/PlaylistTableView.h"
#include "desktop/SettingsTabView.h"
#include "library/Playlist.h"
#include "platform/KeyedArchiver.h"
#include "tests/desktop/DesktopTestSupport.h"
#include "tests/support/TestFiles.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

KeyedCodablePtr archivedPlaylist(const QString &id, const QString &name)
{
    auto playlist = std::make_shared<Playlist>();
    playlist->setPersistentId(id);
    playlist->setName(name);
    return playlist;
}

class DesktopStartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(world.isValid()); }

    // Launches and records every page title shown, in order.
    std::unique_ptr<DesktopSession> launchRecordingTitles()
    {
        auto session = world.launch(*store, {}, false);
        SyncPage &page = session->delegate().syncPage();
        QObject::connect(&page, &SyncPage::pageChanged, session.get(), [this, &page] {
            if (titles.isEmpty() || titles.last() != page.syncOperation())
                titles.append(page.syncOperation());
        });
        session->applicationDidFinishLaunching();
        syncEnabledAfterStartUp = session->window().findChild<QPushButton *>(QStringLiteral("syncSyncButton"))->isEnabled();
        return session;
    }
    void exitAndWait(DesktopSession &session)
    {
        bool ended = false;
        QObject::connect(&session, &DesktopSession::terminated, &session, [&ended] { ended = true; });
        QTest::mouseClick(control<QPushButton>(session, QStringLiteral("syncExitButton")), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&ended] { return ended; }));
    }
    void writeLegacyFile(const QVariantMap &values)
    {
        Settings legacy(world.documents());
        for (auto entry = values.constKeyValueBegin(); entry != values.constKeyValueEnd(); ++entry)
            legacy.setConfigSetting(entry->first, entry->second);
        ASSERT_TRUE(legacy.saveConfig());
    }
    QString legacyPath() const { return Settings(world.documents()).getConfigPath(); }
    QString logText(DesktopSession &session) { return session.delegate().syncPage().logText(); }

    DesktopWorld world;
    std::unique_ptr<SettingsStore> store = std::make_unique<SettingsStore>(world.settingsFile());
    QStringList titles;
    bool syncEnabledAfterStartUp = true;
};

TEST_F(DesktopStartupTest, AFirstLaunchShowsTheSettingsTabLoadsAndEndsReady)
{
    store->setValue(SettingsStore::MusicSourceKey, world.libraryExport());
    auto session = launchRecordingTitles();
    EXPECT_FALSE(syncEnabledAfterStartUp);
    EXPECT_EQ(session->window().tv()->currentWidget()->objectName(), QStringLiteral("settingsTab"));
    EXPECT_TRUE(logText(*session).isEmpty()) << "the load starts half a second later";
    ASSERT_TRUE(waitForLoad(*session));
    EXPECT_EQ(titles.first(), QStringLiteral("Loading iTunes information..."));
    EXPECT_EQ(titles.last(), QStringLiteral("Ready"));
    EXPECT_TRUE(titles.contains(QStringLiteral("Finished Loading iTunes Playlists")));
    EXPECT_TRUE(logText(*session).startsWith(QStringLiteral("12:00:00: Started OrvanaSync for iTunes on the Mac\n")));
    EXPECT_TRUE(control<QPushButton>(*session, QStringLiteral("syncSyncButton"))->isEnabled());
    // No legacy file: the "default" resource stands in for what is not stored.
    EXPECT_TRUE(store->boolean(SettingsStore::SyncEntireLibraryKey));
    EXPECT_TRUE(control<QRadioButton>(*session, QStringLiteral("syncEntireLibraryCell"))->isChecked());
    EXPECT_EQ(control<PlaylistTableView>(*session, QStringLiteral("playlistTableView"))->numberOfRowsInTableView(), 2);
    EXPECT_TRUE(control<QWidget>(*session, QStringLiteral("loadView"))->isHidden());
}

TEST_F(DesktopStartupTest, ASourceThatCannotBeOpenedIsLoggedAndTheWindowStaysUsable)
{
    store->setValue(SettingsStore::MusicSourceKey, world.path(QStringLiteral("missing/Library.xml")));
    auto session = world.launch(*store);
    ASSERT_TRUE(waitForLoad(*session));
    EXPECT_THAT(logText(*session).toStdString(), HasSubstr(": Error: Cannot read the music library\n"));
    EXPECT_EQ(session->delegate().syncPage().syncOperation(), QStringLiteral("Ready"));
    EXPECT_TRUE(control<QPushButton>(*session, QStringLiteral("syncSyncButton"))->isEnabled());
    EXPECT_EQ(control<PlaylistTableView>(*session, QStringLiteral("playlistTableView"))->numberOfRowsInTableView(), 0);
    // Another source can be chosen; it is read at the next start.
    auto *source = control<QLineEdit>(*session, QStringLiteral("musicSource"));
    source->setText(world.libraryExport());
    session->applicationWillTerminate();
    EXPECT_EQ(store->string(SettingsStore::MusicSourceKey), world.libraryExport());
}

TEST_F(DesktopStartupTest, WithNoSourceStoredTheExportInTheUsersMusicFolderIsLoaded)
{
    // The user's music folder, not <home>/Music (which does not exist here).
    world.musicFolder = world.path(QStringLiteral("library"));
    auto session = world.launch(*store);
    ASSERT_TRUE(waitForLoad(*session));
    EXPECT_EQ(control<PlaylistTableView>(*session, QStringLiteral("playlistTableView"))->numberOfRowsInTableView(), 2);
    EXPECT_THAT(logText(*session).toStdString(), Not(HasSubstr("Error")));
}

TEST_F(DesktopStartupTest, AStoredIdentifierKeepsTheSyncPageInFront)
{
    world.writeSetUpSettings();
    auto session = launchRecordingTitles();
    EXPECT_EQ(session->window().tv()->currentWidget()->objectName(), QStringLiteral("syncPage"));
    ASSERT_TRUE(waitForLoad(*session));
}

TEST_F(DesktopStartupTest, ALegacyFileIsMigratedOnceKeyByKey)
{
    store->setValue(SettingsStore::MusicServerIPAddressKey, QStringLiteral("10.0.0.9"));
    store->setValue(SettingsStore::SelectByIPAddressKey, true);
    store->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("old password"));
    QVariantMap playlists;
    playlists.insert(DesktopWorld::bellsOnly, QVariant::fromValue(archivedPlaylist(DesktopWorld::bellsOnly,
                                                                                   QStringLiteral("Bells Only"))));
    playlists.insert(QStringLiteral("GONE"), QVariant::fromValue(archivedPlaylist(QStringLiteral("GONE"),
                                                                                  QStringLiteral("Old"))));
    writeLegacyFile({{QStringLiteral("SelectedPlaylists"), playlists},
                     {QStringLiteral("iTunesGUID"), QStringLiteral("LEGACY-ID")},
                     {QStringLiteral("MusicServerName"), QStringLiteral("Living Room")},
                     {QStringLiteral("MusicServerUserName"), QStringLiteral("ann")},
                     {QStringLiteral("ITunesLibraryName"), QStringLiteral("Ann's Music")},
                     {QStringLiteral("MusicServerIPAddress"), QStringLiteral("192.168.1.20")},
                     {QStringLiteral("SelectByIPAddress"), false},
                     {QStringLiteral("SavePathEqualLocalHost"), QStringLiteral("YES")},
                     {QStringLiteral("SyncEntireLibrary"), false}});
    store->setValue(SettingsStore::MusicSourceKey, world.libraryExport());

    auto session = launchRecordingTitles();
    ASSERT_GE(titles.size(), 2);
    EXPECT_THAT(titles.mid(0, 2), ElementsAre(QStringLiteral("Migrating settings..."),
                                              QStringLiteral("Loading iTunes information...")));
    EXPECT_FALSE(QFile::exists(legacyPath())) << "the legacy file is consumed";
    EXPECT_EQ(store->string(SettingsStore::iTunesGUIDKey), QStringLiteral("LEGACY-ID"));
    EXPECT_EQ(store->string(SettingsStore::MusicServerNameKey), QStringLiteral("Living Room"));
    EXPECT_EQ(store->string(SettingsStore::MusicServerUserNameKey), QStringLiteral("ann"));
    EXPECT_TRUE(store->string(SettingsStore::MusicServerPasswordKey).isNull()) << "absent in the file: cleared";
    EXPECT_TRUE(store->boolean(SettingsStore::SavePathEqualLocalHostKey));
    EXPECT_FALSE(store->boolean(SettingsStore::SyncEntireLibraryKey));
    // Not migrated: the address and the choice by address stay as stored.
    EXPECT_EQ(store->string(SettingsStore::MusicServerIPAddressKey), QStringLiteral("10.0.0.9"));
    EXPECT_TRUE(store->boolean(SettingsStore::SelectByIPAddressKey));
    // The "default" resource is not registered after a migration.
    EXPECT_FALSE(store->value(SettingsStore::MountMethodKey).isValid());

    EXPECT_EQ(control<QLineEdit>(*session, QStringLiteral("ovMusicServerUserName"))->text(), QStringLiteral("ann"));
    EXPECT_EQ(control<QLineEdit>(*session, QStringLiteral("ovITunesLibraryName"))->text(), QStringLiteral("Ann's Music"));
    EXPECT_TRUE(control<QRadioButton>(*session, QStringLiteral("syncSelectedPlaylistsCell"))->isChecked());
    ASSERT_TRUE(waitForLoad(*session));
    const auto &ticked = control<PlaylistTableView>(*session, QStringLiteral("playlistTableView"))->selectedPlaylists();
    ASSERT_TRUE(ticked.has_value());
    EXPECT_EQ(ticked->keys(), (QStringList{DesktopWorld::bellsOnly, QStringLiteral("GONE")}));
    EXPECT_TRUE(session->delegate().useLocalHostAsServerName());
}

TEST_F(DesktopStartupTest, AFileThatIsNoKeyedArchiveIsLeftInPlaceAndDefaultsApply)
{
    for (const QByteArray &content : {QByteArray("not a property list at all"),
                                      KeyedArchiver::archivedData(QVariantMap{{QStringLiteral("iTunesGUID"),
                                                                               QStringLiteral("X")}})
                                          .left(40),
                                      KeyedArchiver::archivedData(QStringLiteral("a string root"))}) {
        QFile file(legacyPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        SettingsStore fresh(world.path(QStringLiteral("fresh.conf")));
        auto session = world.launch(fresh);
        EXPECT_TRUE(QFile::exists(legacyPath())) << "nothing could be taken from it";
        EXPECT_TRUE(fresh.boolean(SettingsStore::SyncEntireLibraryKey)) << "the defaults are registered";
        EXPECT_NE(session->delegate().syncPage().syncOperation(), QStringLiteral("Migrating settings..."));
        ASSERT_TRUE(waitForLoad(*session));
        QFile::remove(legacyPath());
    }
}

TEST_F(DesktopStartupTest, WrongTypesAreSkippedAndTheRestIsTaken)
{
    store->setValue(SettingsStore::iTunesGUIDKey, QStringLiteral("KEPT-ID"));
    writeLegacyFile({{QStringLiteral("SelectedPlaylists"), QStringLiteral("not a map")},
                     {QStringLiteral("iTunesGUID"), 42},
                     {QStringLiteral("MusicServerUserName"), QStringLiteral("bob")},
                     {QStringLiteral("SyncEntireLibrary"), QVariantList{1, 2}},
                     {QStringLiteral("SavePathEqualLocalHost"), 1}});
    auto session = world.launch(*store);
    EXPECT_FALSE(QFile::exists(legacyPath()));
    EXPECT_EQ(store->string(SettingsStore::iTunesGUIDKey), QStringLiteral("KEPT-ID"));
    EXPECT_EQ(store->string(SettingsStore::MusicServerUserNameKey), QStringLiteral("bob"));
    EXPECT_TRUE(store->boolean(SettingsStore::SavePathEqualLocalHostKey));
    EXPECT_FALSE(store->value(SettingsStore::SyncEntireLibraryKey).isValid());
    ASSERT_TRUE(waitForLoad(*session));
    const auto &ticked = control<PlaylistTableView>(*session, QStringLiteral("playlistTableView"))->selectedPlaylists();
    EXPECT_TRUE(ticked && ticked->isEmpty()) << "no stored selection gives an empty one";
}

TEST_F(DesktopStartupTest, TheRadioGroupAndTheServerChoiceDriveTheDelegate)
{
    world.writeSetUpSettings();
    auto session = world.launch(*store);
    auto *group = control<QButtonGroup>(*session, QStringLiteral("syncLibraryOrPlaylist"));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->id(control<QRadioButton>(*session, QStringLiteral("syncEntireLibraryCell"))), 1);
    EXPECT_EQ(group->id(control<QRadioButton>(*session, QStringLiteral("syncSelectedPlaylistsCell"))), 0);
    session->window().tv()->setCurrentWidget(session->window().settingsTab());
    QTest::mouseClick(control<QRadioButton>(*session, QStringLiteral("syncSelectedPlaylistsCell")), Qt::LeftButton);
    EXPECT_FALSE(session->delegate().syncEntireMusicLibrary());
    QTest::mouseClick(control<QRadioButton>(*session, QStringLiteral("syncEntireLibraryCell")), Qt::LeftButton);
    EXPECT_TRUE(session->delegate().syncEntireMusicLibrary());

    auto *servers = control<QComboBox>(*session, QStringLiteral("ovDiscoveredMusicServers"));
    auto *address = control<QLineEdit>(*session, QStringLiteral("ovMusicServerIPAddress"));
    ASSERT_EQ(servers->count(), 1);
    EXPECT_EQ(servers->itemText(0), QStringLiteral("Select server using IP Address"));
    EXPECT_EQ(servers->currentIndex(), 0);
    EXPECT_TRUE(address->isVisible());
    EXPECT_EQ(address->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(control<QLineEdit>(*session, QStringLiteral("ovMusicServerPassword"))->echoMode(), QLineEdit::Password);
    EXPECT_EQ(world.browserCalls().searches.size(), 1) << "browsing starts with the program";

    // A server is announced: the choice grows, the address stays chosen.
    world.browser()->find(QStringLiteral("Kitchen"));
    world.browser()->resolveTo(QStringLiteral("Kitchen"), {FakeServiceBrowser::ipv4(QStringLiteral("127.0.0.1"), 8731)});
    world.browser()->reportAllForNow();
    ASSERT_EQ(servers->count(), 2);
    EXPECT_EQ(servers->itemText(1), QStringLiteral("Kitchen"));
    EXPECT_EQ(servers->currentIndex(), 0);
    EXPECT_TRUE(address->isVisible());

    // The user picks it: the address field goes, the run uses the server.
    servers->setFocus();
    QTest::keyClick(servers, Qt::Key_Down);
    EXPECT_EQ(servers->currentIndex(), 1);
    EXPECT_FALSE(address->isVisible());
    EXPECT_FALSE(session->delegate().selectByIPAddress());
    EXPECT_EQ(session->delegate().serverAddress(), QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(waitForLoad(*session));
    bool ended = false;
    QObject::connect(session.get(), &DesktopSession::terminated, session.get(), [&ended] { ended = true; });
    session->onExitPressed();
    ASSERT_TRUE(waitUntil([&ended] { return ended; }));
    EXPECT_EQ(world.browserCalls().stops, 1);
    EXPECT_EQ(store->string(SettingsStore::MusicServerNameKey), QStringLiteral("Kitchen"));
    EXPECT_FALSE(store->boolean(SettingsStore::SelectByIPAddressKey));

    // The next launch preselects it by name once it is announced again.
    SettingsStore again(world.settingsFile());
    auto second = world.launch(again);
    auto *secondServers = control<QComboBox>(*second, QStringLiteral("ovDiscoveredMusicServers"));
    EXPECT_FALSE(control<QLineEdit>(*second, QStringLiteral("ovMusicServerIPAddress"))->isVisible());
    world.browser()->find(QStringLiteral("Kitchen"));
    world.browser()->resolveTo(QStringLiteral("Kitchen"), {FakeServiceBrowser::ipv4(QStringLiteral("127.0.0.1"), 8731)});
    world.browser()->reportAllForNow();
    EXPECT_EQ(secondServers->currentIndex(), 1);
    ASSERT_TRUE(waitForLoad(*second));
}

TEST_F(DesktopStartupTest, SettingsMadeInTheWindowComeBackAtTheNextLaunch)
{
    world.writeSetUpSettings();
    store->setValue(SettingsStore::MusicServerNameKey, QStringLiteral("Kitchen"));
    PlaylistTableView::PlaylistMap stored;
    stored.insert(QStringLiteral("GONE"), std::make_shared<Playlist>());
    store->setValue(SettingsStore::SelectedPlaylistsKey, SelectedPlaylistsArchive::archive(stored));
    {
        auto first = world.launch(*store);
        ASSERT_TRUE(waitForLoad(*first));
        {
            auto *user = control<QLineEdit>(*first, QStringLiteral("ovMusicServerUserName"));
            user->clear();
            QTest::keyClicks(user, QStringLiteral("carol"));
            QTest::keyClicks(control<QLineEdit>(*first, QStringLiteral("ovMusicServerPassword")), QStringLiteral("pw"));
            auto *picker = control<PlaylistTableView>(*first, QStringLiteral("playlistTableView"));
            first->window().tv()->setCurrentWidget(first->window().settingsTab());
            picker->setCurrentIndex(picker->model()->index(0, 0));
            QTest::keyClick(picker, Qt::Key_Space);
            QTest::mouseClick(control<QRadioButton>(*first, QStringLiteral("syncSelectedPlaylistsCell")),
                              Qt::LeftButton);
            control<QPlainTextEdit>(*first, QStringLiteral("musicSourcePathMap"))
                ->setPlainText(QStringLiteral("C:/Music=/srv/music\n\n"));
        }
        exitAndWait(*first);
        EXPECT_THAT(logText(*first).toStdString(), HasSubstr("12:00:00: Stopped OrvanaSync for iTunes on the Mac\n"));
    }
    EXPECT_EQ(store->string(SettingsStore::MusicServerNameKey), QStringLiteral("Kitchen")) << "entry 0 keeps the name";
    EXPECT_EQ(store->string(SettingsStore::MusicSourcePathMapKey), QStringLiteral("C:/Music=/srv/music"));

    SettingsStore again(world.settingsFile());
    auto second = world.launch(again);
    ASSERT_TRUE(waitForLoad(*second));
    EXPECT_EQ(control<QLineEdit>(*second, QStringLiteral("ovMusicServerUserName"))->text(), QStringLiteral("carol"));
    EXPECT_EQ(control<QLineEdit>(*second, QStringLiteral("ovMusicServerPassword"))->text(), QStringLiteral("pw"));
    EXPECT_TRUE(control<QRadioButton>(*second, QStringLiteral("syncSelectedPlaylistsCell"))->isChecked());
    const auto &ticked = control<PlaylistTableView>(*second, QStringLiteral("playlistTableView"))->selectedPlaylists();
    ASSERT_TRUE(ticked.has_value());
    EXPECT_EQ(ticked->keys(), (QStringList{DesktopWorld::morningMix, QStringLiteral("GONE")}))
        << "a ticked playlist comes back; one that left the library is saved again";
    EXPECT_EQ(control<QPlainTextEdit>(*second, QStringLiteral("musicSourcePathMap"))->toPlainText(),
              QStringLiteral("C:/Music=/srv/music"));
}

TEST_F(DesktopStartupTest, ExitWritesWhatChangedInTheWindowAndKeepsWhatAnotherProgramStoredMeanwhile)
{
    world.writeSetUpSettings();
    auto session = world.launch(*store);
    ASSERT_TRUE(waitForLoad(*session));

    // orvanasync-cli config set, in another process, while the window is open.
    QByteArray text = testsupport::readFile(world.settingsFile());
    ASSERT_TRUE(text.contains("MusicServerIPAddress=127.0.0.1"));
    text.replace("MusicServerIPAddress=127.0.0.1", "MusicServerIPAddress=192.0.2.7");
    text.replace("[General]\n", "[General]\nMusicServerUserName=dave\n");
    testsupport::writeFile(world.settingsFile(), text);

    PlaylistTableView::PlaylistMap tickedElsewhere;
    tickedElsewhere.insert(DesktopWorld::bellsOnly, std::make_shared<Playlist>());
    ASSERT_TRUE(SettingsStore(world.settingsFile())
                    .setValue(SettingsStore::SelectedPlaylistsKey, SelectedPlaylistsArchive::archive(tickedElsewhere)));

    // The window changes the user name and the library name only, no tick.
    auto *user = control<QLineEdit>(*session, QStringLiteral("ovMusicServerUserName"));
    user->clear();
    QTest::keyClicks(user, QStringLiteral("carol"));
    auto *name = control<QLineEdit>(*session, QStringLiteral("ovITunesLibraryName"));
    name->clear();
    QTest::keyClicks(name, QStringLiteral("Den"));
    exitAndWait(*session);

    SettingsStore after(world.settingsFile());
    EXPECT_EQ(after.string(SettingsStore::MusicServerIPAddressKey), QStringLiteral("192.0.2.7"))
        << "not changed in the window: the other program's value stays";
    EXPECT_EQ(after.string(SettingsStore::MusicServerUserNameKey), QStringLiteral("carol")) << "changed in both: the window's";
    EXPECT_EQ(after.string(SettingsStore::ITunesLibraryNameKey), QStringLiteral("Den"));
    EXPECT_EQ(after.string(SettingsStore::MusicSourceKey), world.libraryExport());
    EXPECT_EQ(SelectedPlaylistsArchive::restoreIds(after.value(SettingsStore::SelectedPlaylistsKey).toByteArray()),
              QSet<QString>{DesktopWorld::bellsOnly});
}

TEST_F(DesktopStartupTest, ExitBeforeTheLoadKeepsTheStoredSelection)
{
    world.writeSetUpSettings();
    PlaylistTableView::PlaylistMap stored;
    stored.insert(DesktopWorld::bellsOnly, std::make_shared<Playlist>());
    const QByteArray archive = SelectedPlaylistsArchive::archive(stored);
    store->setValue(SettingsStore::SelectedPlaylistsKey, archive);
    auto session = world.launch(*store);
    exitAndWait(*session);
    EXPECT_EQ(store->value(SettingsStore::SelectedPlaylistsKey).toByteArray(), archive);
    EXPECT_FALSE(session->libraryLoaded()) << "the load never started";
}

TEST_F(DesktopStartupTest, AClearTextPasswordMovesIntoTheKeyringAtStartUpAndTheFieldGoesBackThereAtExit)
{
    world.writeSetUpSettings();
    store->setValue(SettingsStore::MusicServerUserNameKey, QStringLiteral("ann"));
    store->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("old clear text"));
    const QPair<QString, QString> key{QStringLiteral("127.0.0.1"), QStringLiteral("ann")};
    {
        auto session = world.launch(*store);
        auto *field = control<QLineEdit>(*session, QStringLiteral("ovMusicServerPassword"));
        EXPECT_EQ(field->text(), QStringLiteral("old clear text"));
        EXPECT_EQ(world.keyring()->items.value(key), QStringLiteral("old clear text"));
        EXPECT_FALSE(SettingsStore(world.settingsFile()).isStored(SettingsStore::MusicServerPasswordKey));
        ASSERT_TRUE(waitForLoad(*session));
        field->clear();
        QTest::keyClicks(field, QStringLiteral("typed in the window"));
        exitAndWait(*session);
    }
    EXPECT_EQ(world.keyring()->items.value(key), QStringLiteral("typed in the window"));
    QFile file(world.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_THAT(file.readAll().toStdString(), Not(HasSubstr("MusicServerPassword")));

    // The next launch finds it in the keyring.
    SettingsStore again(world.settingsFile());
    auto second = world.launch(again);
    EXPECT_EQ(control<QLineEdit>(*second, QStringLiteral("ovMusicServerPassword"))->text(),
              QStringLiteral("typed in the window"));
    ASSERT_TRUE(waitForLoad(*second));
}

TEST_F(DesktopStartupTest, WithoutAKeyringThePasswordStaysInTheSettingsFileAndTheLogSaysSo)
{
    world.keyring()->state = FakePasswordKeyring::State::NoService;
    world.writeSetUpSettings();
    store->setValue(SettingsStore::MusicServerPasswordKey, QStringLiteral("clear"));
    auto session = world.launch(*store);
    EXPECT_EQ(control<QLineEdit>(*session, QStringLiteral("ovMusicServerPassword"))->text(), QStringLiteral("clear"));
    EXPECT_THAT(logText(*session).toStdString(),
                HasSubstr("12:00:00: no Secret Service here (there is no D-Bus session bus): the password is kept in "
                          "the settings file "));
    ASSERT_TRUE(waitForLoad(*session));
    exitAndWait(*session);
    EXPECT_EQ(SettingsStore(world.settingsFile()).string(SettingsStore::MusicServerPasswordKey), QStringLiteral("clear"));
}

} // namespace

#include "app/OrvanaSyncAppDelegate.h"

#include "app/EmptyLibraryGuard.h"
#include "app/SettingsStore.h"
#include "library/MusicLibrary.h"
#include "share/ManageVolumes.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class FakeMountService : public MountService {
public:
    QList<MountedVolume> volumes;
    MountOutcome answer;
    QList<MountRequest> requests;
    std::function<void()> onMount;

    QList<MountedVolume> mountedVolumes() override { return volumes; }
    MountOutcome mount(const MountRequest &request) override
    {
        requests.append(request);
        if (onMount)
            onMount();
        return answer;
    }
};

struct RefreshCall {
    QObject *context = nullptr;
    qint32 mediaType = 0;
};

class FakeRefreshService : public RefreshService {
public:
    explicit FakeRefreshService(QString url, QList<RefreshCall> *calls, QVariant answer)
        : url(std::move(url)), calls(calls), answer(std::move(answer))
    {
    }
    void RefreshMediaCollectionByMediaType(QObject *context, AnswerHandler onAnswer, qint32 mediaType) override
    {
        calls->append({context, mediaType});
        // The answer arrives later, on the sending thread's event loop.
        QTimer::singleShot(20, context, [onAnswer = std::move(onAnswer), value = answer] { onAnswer(value); });
    }
    QString failureDescription(const QVariant &value) const override
    {
        return value.toString().startsWith(QLatin1String("fault:")) ? value.toString() : QString();
    }

    QString url;
    QList<RefreshCall> *calls;
    QVariant answer;
};

class FakeRefreshFactory : public RefreshServiceFactory {
public:
    QMap<QString, QString> addresses;
    QStringList createdUrls;
    QList<RefreshCall> calls;
    QVariant answer = QStringLiteral("result");

    QString getIPAddressForHost(const QString &host) override { return addresses.value(host); }
    std::unique_ptr<RefreshService> createService(const QString &serviceUrl) override
    {
        createdUrls.append(serviceUrl);
        return std::make_unique<FakeRefreshService>(serviceUrl, &calls, answer);
    }
};

class OrvanaSyncAppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ManageVolumes::setMountService(mounts);
        share = folder.filePath(QStringLiteral("share"));
        mounts->answer = {0, share, {}};
        QDir().mkpath(share);
        settings = std::make_unique<SettingsStore>(folder.filePath(QStringLiteral("settings.conf")));
        delegate = std::make_unique<OrvanaSyncAppDelegate>(*settings);
        delegate->syncPage().setClock([] { return QStringLiteral("12:00:00"); });
        delegate->setRefreshServiceFactory(factory);
        delegate->setMountFailureCompletionDelay(200);
        delegate->setSyncVersion(QStringLiteral("1.0"));
        delegate->setITunesGUID(QStringLiteral("LIBRARY-ID"));
        delegate->setITunesLibraryName(QStringLiteral("Ann's Music"));
        delegate->setMusicServerIPAddress(QStringLiteral("nas"));
        delegate->selectServer(0, OrvanaSyncAppDelegate::SelectByAddressEntry);
        delegate->setSyncEntireMusicLibrary(true);
        library = std::make_shared<MusicLibrary>();
        addTrack(QStringLiteral("T1"), QStringLiteral("Ann"), QStringLiteral("First"), QStringLiteral("one.mp3"));
        addTrack(QStringLiteral("T2"), QStringLiteral("Bob"), QStringLiteral("Second"), QStringLiteral("two.mp3"));
        addPlaylist(QStringLiteral("P1"), QStringLiteral("Mix"), {QStringLiteral("T2")});
        addPlaylist(QStringLiteral("P2"), QStringLiteral("Other"), {QStringLiteral("T1")});
        delegate->setLibrary(library);
    }
    void TearDown() override
    {
        delegate.reset();
        ManageVolumes::setMountService(nullptr);
    }

    void addTrack(const QString &id, const QString &artist, const QString &album, const QString &file)
    {
        const QString path = folder.filePath(QStringLiteral("source/%1/%2/%3").arg(artist, album, file));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile audio(path);
        ASSERT_TRUE(audio.open(QIODevice::WriteOnly));
        audio.write("audio of " + id.toUtf8());
        audio.close();
        auto track = std::make_shared<Track>();
        track->setPersistentId(id);
        track->setLocation(path);
        track->setTitle(file);
        track->setAlbum(album);
        track->setArtists(artist);
        track->setAlbumID(artist + QLatin1Char('-') + album);
        track->setType(QStringLiteral("mp3"));
        track->setStatus(1);
        library->tracks().insert(id, track);
        library->sortedTracks().append(id);
    }
    void addPlaylist(const QString &id, const QString &name, const QStringList &tracks)
    {
        auto playlist = std::make_shared<Playlist>();
        playlist->setPersistentId(id);
        playlist->setName(name);
        playlist->setTracks(tracks);
        playlist->setIsExpanded(true);
        library->playlists().insert(id, playlist);
    }

    // Presses Sync and runs the event loop until the run has completed.
    bool syncAndWait(int timeoutMs = 10000)
    {
        QEventLoop loop;
        QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::syncCompleted, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.exit(1); });
        delegate->onSyncPressed();
        return loop.exec() == 0;
    }
    void spin(int milliseconds)
    {
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QStringList logMessages() const
    {
        QStringList lines = delegate->syncPage().logText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString &line : lines)
            line.remove(0, QStringLiteral("12:00:00: ").size());
        return lines;
    }

    QTemporaryDir folder;
    QString share;
    std::shared_ptr<FakeMountService> mounts = std::make_shared<FakeMountService>();
    std::shared_ptr<FakeRefreshFactory> factory = std::make_shared<FakeRefreshFactory>();
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<OrvanaSyncAppDelegate> delegate;
    std::shared_ptr<MusicLibrary> library;
};

TEST_F(OrvanaSyncAppDelegateTest, AWholeRunMountsCopiesWritesBothFilesAndRefreshes)
{
    factory->addresses.insert(QStringLiteral("nas"), QStringLiteral("10.0.0.5"));
    delegate->setMusicServerUserName(QStringLiteral("ann"));
    delegate->setMusicServerPassword(QStringLiteral("pw"));
    ASSERT_TRUE(syncAndWait());
    spin(100); // the refresh answer comes after the totals

    ASSERT_EQ(mounts->requests.size(), 1);
    EXPECT_EQ(mounts->requests[0].shareUrl, QStringLiteral("smb://nas/OrvanaMusic"));
    EXPECT_EQ(mounts->requests[0].userName, QStringLiteral("ann"));
    EXPECT_EQ(mounts->requests[0].password, QStringLiteral("pw"));
    EXPECT_TRUE(mounts->requests[0].volName.isNull());

    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Music/Ann/First/one.mp3")));
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Music/Bob/Second/two.mp3")));
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Library/LIBRARY-ID.xml")));
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Artwork/Artwork.xml")));
    EXPECT_EQ(library->sharePaths().serverSharePath, QStringLiteral("\\\\nas\\OrvanaMusic"));
    EXPECT_EQ(library->sharePaths().cpyBasePath, share + QStringLiteral("/Music"));

    EXPECT_EQ(factory->createdUrls, QStringList{QStringLiteral("http://10.0.0.5:8731/Orvana/WebServices/2009/07/")});
    ASSERT_EQ(factory->calls.size(), 1);
    EXPECT_EQ(factory->calls[0].context, delegate.get());
    EXPECT_EQ(factory->calls[0].mediaType, 16384);

    const QStringList log = logMessages();
    ASSERT_GE(log.size(), 4);
    EXPECT_EQ(log.first(), QStringLiteral("Starting synchronization"));
    EXPECT_EQ(log.at(log.size() - 2), QStringLiteral("Completed synchronization"));
    EXPECT_EQ(log.last(), QStringLiteral("Successfully Refreshed Orvana Media Library"));
    EXPECT_TRUE(log.contains(QStringLiteral("Song: one.mp3, Album: First, Artist: Ann")));
    EXPECT_EQ(delegate->syncPage().syncOperation(), QStringLiteral("Completed iTunes Synchronization"));
    EXPECT_EQ(delegate->syncPage().syncTitle(2), QStringLiteral("Copied 2 tracks and 0 album covers"));
    EXPECT_TRUE(delegate->syncPage().isSyncEnabled());
    EXPECT_FALSE(delegate->syncInProgress());
    EXPECT_FALSE(delegate->errorReported());
}

TEST_F(OrvanaSyncAppDelegateTest, ASecondPressDuringARunChangesNothing)
{
    delegate->setShareFolder(share);
    QEventLoop loop;
    QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::syncCompleted, &loop, &QEventLoop::quit);
    int completions = 0;
    QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::syncCompleted, delegate.get(), [&] { ++completions; });
    delegate->onSyncPressed();
    const QString logAfterFirstPress = delegate->syncPage().logText();
    delegate->onSyncPressed();
    EXPECT_EQ(delegate->syncPage().logText(), logAfterFirstPress);
    loop.exec();
    spin(50);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(logMessages().count(QStringLiteral("Starting synchronization")), 1);
}

TEST_F(OrvanaSyncAppDelegateTest, TheFirstRunMakesAndStoresAnIdentifierBeforeTheMount)
{
    delegate->setITunesGUID(QString());
    QString storedAtMount;
    mounts->onMount = [&] { storedAtMount = SettingsStore(settings->fileName()).string(SettingsStore::iTunesGUIDKey); };
    ASSERT_TRUE(syncAndWait());
    const QString id = delegate->iTunesGUID();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(id)
                    .hasMatch())
        << id.toStdString();
    EXPECT_EQ(storedAtMount, id);
    EXPECT_EQ(library->sharePaths().xmlTracksPath, share + QStringLiteral("/Library/") + id + QStringLiteral(".xml"));
    EXPECT_TRUE(QFile::exists(library->sharePaths().xmlTracksPath));
}

TEST_F(OrvanaSyncAppDelegateTest, AnIdentifierStoredByAnotherProgramSinceTheStartIsTaken)
{
    delegate->setITunesGUID(QString());
    ASSERT_TRUE(settings->string(SettingsStore::iTunesGUIDKey).isEmpty());
    // The command line's first run on the same settings file, while this
    // program runs: another process writes the file (a store in this one
    // would share this store's cache).
    ASSERT_FALSE(QFile::exists(settings->fileName()));
    testsupport::writeFile(settings->fileName(), "[General]\niTunesGUID=FROM-CLI\n");
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(delegate->iTunesGUID(), QStringLiteral("FROM-CLI"));
    EXPECT_EQ(library->sharePaths().xmlTracksPath, share + QStringLiteral("/Library/FROM-CLI.xml"));
    EXPECT_EQ(QDir(share + QStringLiteral("/Library")).entryList({QStringLiteral("*.xml")}),
              QStringList{QStringLiteral("FROM-CLI.xml")});
}

TEST_F(OrvanaSyncAppDelegateTest, AnAlreadyMountedVolumeInAnyCaseIsUsedWithoutMounting)
{
    const QString mounted = folder.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(mounted);
    mounts->volumes = {{QStringLiteral("home"), QStringLiteral("/home")}, {QStringLiteral("ORVANAMUSIC"), mounted}};
    ASSERT_TRUE(syncAndWait());
    EXPECT_TRUE(mounts->requests.isEmpty());
    EXPECT_TRUE(QFile::exists(mounted + QStringLiteral("/Library/LIBRARY-ID.xml")));
}

namespace {

// The bytes this process has read so far, by any read call.
qint64 bytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar: "))
            return line.mid(7).toLongLong();
    }
    return -1;
}

} // namespace

TEST_F(OrvanaSyncAppDelegateTest, TheLibraryFileReadAheadIsTakenByTheRunOnlyWhileTheFileIsUnchanged)
{
    const QString mounted = folder.filePath(QStringLiteral("mounted"));
    QDir().mkpath(mounted);
    mounts->volumes = {{QStringLiteral("OrvanaMusic"), mounted}};
    ASSERT_TRUE(syncAndWait());
    const QString libraryFile = mounted + QStringLiteral("/Library/LIBRARY-ID.xml");
    // Songs the library no longer has make the file large enough that a
    // second read of it would show.
    QFile file(libraryFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    file.close();
    QByteArray gone;
    for (int index = 0; index < 20000; ++index)
        gone += "<Song ID=\"GONE-" + QByteArray::number(index) + "\" Location=\"\\\\nas\\OrvanaMusic\\Music\\G\\G\\" +
                QByteArray::number(index) + ".mp3\"/>\r\n";
    const qsizetype songsEnd = bytes.indexOf("</Songs>");
    ASSERT_GT(songsEnd, 0);
    bytes.insert(songsEnd, gone);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    const qint64 readBefore = bytesReadByProcess();
    delegate->readLibraryFileAhead();
    // As while the music library loads: the file is read meanwhile.
    QElapsedTimer waited;
    waited.start();
    while (bytesReadByProcess() - readBefore < bytes.size() && waited.elapsed() < 10000)
        spin(5);
    ASSERT_TRUE(syncAndWait());
    EXPECT_LT(bytesReadByProcess() - readBefore, bytes.size() * 3 / 2);
    EXPECT_EQ(library->counters().numTracksUnchanged, 2);
    EXPECT_EQ(library->counters().numTracksDeleted, 20000);
    EXPECT_TRUE(mounts->requests.isEmpty());

    // Replaced after the read ahead: the run reads the new file.
    delegate->readLibraryFileAhead();
    const QByteArray onlyFirst = "<Library ID=\"LIBRARY-ID\"><Songs><Song ID=\"T1\" "
                                 "Location=\"\\\\nas\\OrvanaMusic\\Music\\Ann\\First\\one.mp3\"/></Songs></Library>";
    QFile replacement(libraryFile + QStringLiteral(".new"));
    ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
    replacement.write(onlyFirst);
    replacement.close();
    ASSERT_EQ(::rename(QFile::encodeName(libraryFile + QStringLiteral(".new")).constData(),
                       QFile::encodeName(libraryFile).constData()),
              0);
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->counters().numTracksUnchanged, 1);
    EXPECT_EQ(library->counters().numTracksDeleted, 0);
}

TEST_F(OrvanaSyncAppDelegateTest, TheShareRootFollowsTheLocalHostSettingAndTheAddressAsTyped)
{
    delegate->setShareFolder(share);
    delegate->setUseLocalHostAsServerName(true);
    delegate->setMusicServerIPAddress(QStringLiteral("192.168.1.20"));
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->sharePaths().serverSharePath, QStringLiteral("\\\\127.0.0.1\\OrvanaMusic"));

    delegate->setUseLocalHostAsServerName(false);
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->sharePaths().serverSharePath, QStringLiteral("\\\\192.168.1.20\\OrvanaMusic"));
    // Spaces around a pasted address are no part of it, nor is the share
    // around a host written as a file manager or Windows shows it.
    delegate->setMusicServerIPAddress(QStringLiteral(" 192.168.1.21\t\n"));
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->sharePaths().serverSharePath, QStringLiteral("\\\\192.168.1.21\\OrvanaMusic"));
    delegate->setMusicServerIPAddress(QStringLiteral("smb://ann@192.168.1.22/OrvanaMusic/"));
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->sharePaths().serverSharePath, QStringLiteral("\\\\192.168.1.22\\OrvanaMusic"));
    for (const auto &[typed, host] : std::initializer_list<std::pair<const char *, const char *>>{
             {"\\\\nas\\OrvanaMusic", "nas"}, {"//nas/OrvanaMusic", "nas"}, {"SMB://nas:4450", "nas:4450"},
             {"nas:4450", "nas:4450"}, {"Music-Server.local", "Music-Server.local"}, {"smb://", ""}})
        EXPECT_EQ(OrvanaSyncAppDelegate::hostOfTypedAddress(QString::fromLatin1(typed)), QString::fromLatin1(host)) << typed;

    delegate->setShareFolder(QString());
    delegate->setMusicServerIPAddress(QStringLiteral("Music-Server.local"));
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->sharePaths().serverSharePath, QStringLiteral("\\\\Music-Server.local\\OrvanaMusic"));
    ASSERT_EQ(mounts->requests.size(), 1);
    EXPECT_EQ(mounts->requests[0].server, QStringLiteral("Music-Server.local"));
}

TEST_F(OrvanaSyncAppDelegateTest, AShareFolderGivenWithATildeIsInTheHomeFolder)
{
    delegate->setShareFolder(QStringLiteral("~/Music Server"));
    EXPECT_EQ(delegate->shareFolder(), QDir::homePath() + QStringLiteral("/Music Server"));
    delegate->setShareFolder(QStringLiteral("~other/share"));
    EXPECT_EQ(delegate->shareFolder(), QStringLiteral("~other/share"));
    settings->setValue(SettingsStore::ShareFolderKey, QStringLiteral("~"));
    delegate->restoreSettings();
    EXPECT_EQ(delegate->shareFolder(), QDir::homePath());
}

// An export made on another computer names files that are not here.
TEST_F(OrvanaSyncAppDelegateTest, ARunThatFindsNoneOfItsNewFilesSaysThatAPathMapMayBeMissing)
{
    const QString hint = QStringLiteral("None of the 2 new tracks' files is where the music library says: if the library "
                                        "was exported on another computer, give a path map from the folder it names to "
                                        "where those files are here");
    delegate->setShareFolder(share);
    QDir(folder.filePath(QStringLiteral("source"))).removeRecursively();
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->counters().numTracksSourceMissing, 2);
    EXPECT_TRUE(logMessages().contains(hint)) << logMessages().join(u'\n').toStdString();
    EXPECT_EQ(logMessages().last(), QStringLiteral("Completed synchronization"));

    // One file found: the others are missing for reasons of their own.
    addTrack(QStringLiteral("T3"), QStringLiteral("Cat"), QStringLiteral("Third"), QStringLiteral("three.mp3"));
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(library->counters().numTracksCopied, 1);
    EXPECT_EQ(logMessages().count(hint), 1);
}

TEST_F(OrvanaSyncAppDelegateTest, ADiscoveredServerGivesItsFirstAddress)
{
    OVServiceInfo server(QStringLiteral("Living Room"));
    server.ipAddresses() = {QStringLiteral("10.0.0.7"), QStringLiteral("10.0.0.8")};
    delegate->svcBrowserList().insert(server.svcName(), server);
    delegate->selectServer(1, QStringLiteral("Living Room"));
    ASSERT_TRUE(syncAndWait());
    ASSERT_EQ(mounts->requests.size(), 1);
    EXPECT_EQ(mounts->requests[0].server, QStringLiteral("10.0.0.7"));

    // A chosen server that is not announced now has no address: nothing is
    // mounted, and the log says why.
    delegate->selectServer(1, QStringLiteral("Gone"));
    delegate->onSyncPressed();
    EXPECT_EQ(delegate->syncPage().syncOperation(), QStringLiteral("Unable to mount volume for server share: ///OrvanaMusic"));
    EXPECT_EQ(mounts->requests.size(), 1);
    EXPECT_TRUE(logMessages().contains(QStringLiteral("Error: The music server \"Gone\" is not announced on the network "
                                                      "now: check that it is on, or choose it by its address")))
        << logMessages().join(u'\n').toStdString();
    spin(400);

    // Announced without an IPv4 address: said so.
    OVServiceInfo unresolved(QStringLiteral("Kitchen"));
    delegate->svcBrowserList().insert(unresolved.svcName(), unresolved);
    delegate->selectServer(2, QStringLiteral("Kitchen"));
    delegate->onSyncPressed();
    EXPECT_EQ(mounts->requests.size(), 1);
    EXPECT_TRUE(logMessages().contains(QStringLiteral("Error: The music server \"Kitchen\" has given no IPv4 address "
                                                      "yet: try again in a moment, or choose it by its address")));
    spin(400);

    // Choosing by address with none typed: the same.
    delegate->selectServer(0, OrvanaSyncAppDelegate::SelectByAddressEntry);
    delegate->setMusicServerIPAddress(QStringLiteral("  "));
    delegate->onSyncPressed();
    EXPECT_EQ(mounts->requests.size(), 1);
    EXPECT_TRUE(logMessages().contains(QStringLiteral("Error: No music server is chosen: type the server's address, or "
                                                      "choose a server found on the network")));
    EXPECT_FALSE(delegate->syncInProgress());
}

TEST_F(OrvanaSyncAppDelegateTest, SelectedPlaylistsWithNothingTickedUnselectEveryPlaylist)
{
    delegate->setShareFolder(share);
    library->playlists().value(QStringLiteral("P1"))->setIsSelected(true);
    delegate->setSyncEntireMusicLibrary(false);
    delegate->setSelectedPlaylists({});
    ASSERT_TRUE(syncAndWait());
    for (const auto &playlist : library->playlists())
        EXPECT_FALSE(playlist->isSelected()) << playlist->name().toStdString();
    EXPECT_FALSE(library->syncCompleteMusicLibrary());
    EXPECT_FALSE(QFile::exists(share + QStringLiteral("/Music/Ann/First/one.mp3")));
    EXPECT_FALSE(QFile::exists(share + QStringLiteral("/Music/Bob/Second/two.mp3")));
}

TEST_F(OrvanaSyncAppDelegateTest, ATickedPlaylistIsMarkedAndOnlyItsTracksAreCopied)
{
    delegate->setShareFolder(share);
    delegate->setSyncEntireMusicLibrary(false);
    delegate->setSelectedPlaylists({QStringLiteral("P1"), QStringLiteral("NO-LONGER-THERE")});
    ASSERT_TRUE(syncAndWait());
    EXPECT_TRUE(library->playlists().value(QStringLiteral("P1"))->isSelected());
    EXPECT_FALSE(library->playlists().value(QStringLiteral("P2"))->isSelected());
    EXPECT_TRUE(QFile::exists(share + QStringLiteral("/Music/Bob/Second/two.mp3")));
    EXPECT_FALSE(QFile::exists(share + QStringLiteral("/Music/Ann/First/one.mp3")));
    EXPECT_TRUE(logMessages().contains(QStringLiteral("Copying Playlist: Mix")));
}

TEST_F(OrvanaSyncAppDelegateTest, AMountFailureShowsItsTitleThenTheTotalsAndTouchesNothing)
{
    mounts->answer = {13, {}, QStringLiteral("Failed to mount Windows share: Permission denied")};
    factory->addresses.insert(QStringLiteral("nas"), QStringLiteral("10.0.0.5"));
    int completions = 0;
    QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::syncCompleted, delegate.get(), [&] { ++completions; });
    delegate->onSyncPressed();
    EXPECT_EQ(delegate->syncPage().syncOperation(),
              QStringLiteral("Unable to mount volume for server share: //nas/OrvanaMusic"));
    EXPECT_TRUE(delegate->syncPage().isSyncEnabled());
    EXPECT_FALSE(delegate->syncInProgress());
    // The log says why, in the mounting method's words.
    EXPECT_EQ(logMessages(), (QStringList{QStringLiteral("Starting synchronization"),
                                          QStringLiteral("Error: The share //nas/OrvanaMusic could not be mounted: "
                                                         "Failed to mount Windows share: Permission denied"),
                                          QStringLiteral("Completed synchronization")}));
    spin(400);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(delegate->syncPage().syncOperation(), QStringLiteral("Completed iTunes Synchronization"));
    EXPECT_EQ(logMessages().count(QStringLiteral("Completed synchronization")), 2);
    EXPECT_TRUE(QDir(share).isEmpty());
    EXPECT_TRUE(factory->calls.isEmpty());
    EXPECT_TRUE(factory->createdUrls.isEmpty());
}

TEST_F(OrvanaSyncAppDelegateTest, ThePendingCompletionOfAFailedMountNeverEndsALaterRun)
{
    mounts->answer = {13, {}, {}};
    delegate->onSyncPressed();
    mounts->answer = {0, share, {}};
    // A slow run: the mount itself waits past the pending completion's delay.
    mounts->onMount = [this] { spin(300); };
    int completions = 0;
    QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::syncCompleted, delegate.get(), [&] { ++completions; });
    ASSERT_TRUE(syncAndWait());
    spin(400);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(logMessages().count(QStringLiteral("Completed synchronization")), 2);
}

TEST_F(OrvanaSyncAppDelegateTest, TheWebServiceIsMadeOnceAndKeptForItsFirstAddress)
{
    factory->addresses.insert(QStringLiteral("nas"), QStringLiteral("10.0.0.5"));
    factory->addresses.insert(QStringLiteral("other"), QStringLiteral("10.0.0.9"));
    delegate->setShareFolder(share);
    ASSERT_TRUE(syncAndWait());
    delegate->setMusicServerIPAddress(QStringLiteral("other"));
    ASSERT_TRUE(syncAndWait());
    spin(50);
    EXPECT_EQ(factory->createdUrls, QStringList{QStringLiteral("http://10.0.0.5:8731/Orvana/WebServices/2009/07/")});
    EXPECT_EQ(factory->calls.size(), 2);
}

TEST_F(OrvanaSyncAppDelegateTest, AnAddressThatDoesNotResolveRunsWithoutARefresh)
{
    delegate->setShareFolder(share);
    ASSERT_TRUE(syncAndWait());
    spin(50);
    EXPECT_TRUE(factory->createdUrls.isEmpty());
    EXPECT_EQ(logMessages().last(), QStringLiteral("Completed synchronization"));
}

TEST_F(OrvanaSyncAppDelegateTest, AFaultIsLoggedAsOneDebugLineAndNoSuccess)
{
    factory->addresses.insert(QStringLiteral("nas"), QStringLiteral("10.0.0.5"));
    factory->answer = QStringLiteral("fault:soap:Server Refused");
    delegate->setShareFolder(share);
    bool answered = true;
    QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::refreshAnswered, delegate.get(),
                     [&](bool succeeded) { answered = succeeded; });
    ASSERT_TRUE(syncAndWait());
    spin(100);
    EXPECT_FALSE(answered);
    EXPECT_EQ(logMessages().last(), QStringLiteral("Debug: fault:soap:Server Refused"));
    EXPECT_FALSE(logMessages().contains(QStringLiteral("Successfully Refreshed Orvana Media Library")));
}

TEST_F(OrvanaSyncAppDelegateTest, EngineErrorsAreCountedAndTheRunStillEnds)
{
    delegate->setShareFolder(share);
    QFile::remove(library->tracks().value(QStringLiteral("T1"))->location());
    ASSERT_TRUE(syncAndWait());
    EXPECT_TRUE(delegate->errorReported());
    EXPECT_TRUE(logMessages().contains(QStringLiteral("Error: Failed to copy file")));
    EXPECT_EQ(delegate->syncPage().syncTitle(4), QStringLiteral("Unable to copy 0 album covers and 1 tracks (0 copy protected)"));
}

TEST_F(OrvanaSyncAppDelegateTest, ADryRunSaysWhatWouldHappenAndChangesNothing)
{
    factory->addresses.insert(QStringLiteral("nas"), QStringLiteral("10.0.0.5"));
    delegate->setShareFolder(share);
    delegate->setDryRun(true);
    ASSERT_TRUE(syncAndWait());
    EXPECT_TRUE(QDir(share).isEmpty());
    EXPECT_TRUE(factory->createdUrls.isEmpty());
    const QStringList log = logMessages();
    EXPECT_TRUE(log.contains(QStringLiteral("Would copy: %1 to %2")
                                 .arg(library->tracks().value(QStringLiteral("T1"))->location(),
                                      share + QStringLiteral("/Music/Ann/First/one.mp3"))));
    EXPECT_TRUE(log.contains(QStringLiteral("Would write: %1/Library/LIBRARY-ID.xml").arg(share)));
    EXPECT_TRUE(log.contains(QStringLiteral("Would copy 2 tracks and 0 album covers")));
    EXPECT_EQ(delegate->wouldCopyTracks(), 2);
}

TEST_F(OrvanaSyncAppDelegateTest, ADryRunStoresNoNewIdentifier)
{
    delegate->setShareFolder(share);
    delegate->setDryRun(true);
    delegate->setITunesGUID(QString());
    ASSERT_TRUE(syncAndWait());
    EXPECT_FALSE(delegate->iTunesGUID().isEmpty()) << "the run still names the file it would write";
    EXPECT_FALSE(QFile::exists(settings->fileName()));
    EXPECT_TRUE(QDir(share).isEmpty());
}

// Refusals that protect the server: a run that would list no tracks in place
// of a library file that lists some ends before writing anything.
class EmptyLibraryRefusalTest : public OrvanaSyncAppDelegateTest {
protected:
    void SetUp() override
    {
        OrvanaSyncAppDelegateTest::SetUp();
        delegate->setShareFolder(share);
        delegate->setRefuseEmptyLibrary(true);
        QObject::connect(delegate.get(), &OrvanaSyncAppDelegate::emptyLibraryRefused,
                         [this](const QString &file, qint64 songs) { refusals.append({file, songs}); });
    }
    // A first run publishes both tracks; answers the library file's bytes.
    QByteArray publishBothTracks()
    {
        EXPECT_TRUE(syncAndWait());
        spin(50);
        QFile file(libraryFile());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    QString libraryFile() const { return share + QStringLiteral("/Library/LIBRARY-ID.xml"); }
    // Presses Sync; true when the run was refused (it never completes then).
    bool refusedRun()
    {
        const qsizetype before = refusals.size();
        delegate->onSyncPressed();
        spin(50);
        return refusals.size() == before + 1 && !delegate->syncInProgress();
    }
    QByteArray libraryFileBytes() const
    {
        QFile file(libraryFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QList<std::pair<QString, qint64>> refusals;
};

TEST_F(EmptyLibraryRefusalTest, AnEmptySourceLeavesTheLibraryFileByteForByteAndSendsNoRefresh)
{
    factory->addresses.insert(QStringLiteral("nas"), QStringLiteral("10.0.0.5"));
    const QByteArray published = publishBothTracks();
    ASSERT_EQ(published.count("<Song "), 2);
    const qsizetype refreshes = factory->calls.size();
    library->tracks().clear();
    library->sortedTracks().clear();
    ASSERT_TRUE(refusedRun());
    EXPECT_EQ(refusals.last(), std::make_pair(libraryFile(), qint64(2)));
    EXPECT_EQ(libraryFileBytes(), published);
    EXPECT_EQ(factory->calls.size(), refreshes);
    EXPECT_TRUE(delegate->syncPage().isSyncEnabled());
}

TEST_F(EmptyLibraryRefusalTest, ASelectionWithoutTracksIsRefusedAndOneWithTracksIsNot)
{
    const QByteArray published = publishBothTracks();
    delegate->setSyncEntireMusicLibrary(false);
    delegate->setSelectedPlaylists({QStringLiteral("NOT-THERE")});
    ASSERT_TRUE(refusedRun());
    addPlaylist(QStringLiteral("P3"), QStringLiteral("Empty"), {});
    addPlaylist(QStringLiteral("P4"), QStringLiteral("Library"), {QStringLiteral("T1")});
    delegate->setSelectedPlaylists({QStringLiteral("P3"), QStringLiteral("P4")});
    ASSERT_TRUE(refusedRun()) << "the Library playlist is never written, an empty one lists nothing";
    EXPECT_EQ(libraryFileBytes(), published);
    delegate->setSelectedPlaylists({QStringLiteral("P1")});
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(libraryFileBytes().count("<Song "), 1);
}

TEST_F(EmptyLibraryRefusalTest, OnlyDrmProtectedTracksCountAsNone)
{
    const QByteArray published = publishBothTracks();
    for (const auto &track : library->tracks())
        track->setDRMProtected(true);
    ASSERT_TRUE(refusedRun());
    EXPECT_EQ(libraryFileBytes(), published);
    // One track to list, the last in library order, is enough.
    library->tracks().value(library->sortedTracks().last())->setDRMProtected(false);
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(libraryFileBytes().count("<Song "), 1);
}

TEST_F(EmptyLibraryRefusalTest, WithoutAListedSongOrWithTheRefusalOffTheEmptyLibraryIsPublished)
{
    library->tracks().clear();
    library->sortedTracks().clear();
    ASSERT_TRUE(syncAndWait()) << "nothing on the share to protect";
    EXPECT_EQ(libraryFileBytes().count("<Song "), 0);
    EXPECT_TRUE(refusals.isEmpty());

    QFile file(libraryFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<Library><Songs>\r\n\t\t<Song ID=\"A\"></Song>\r\n</Songs></Library>\r\n");
    file.close();
    delegate->setRefuseEmptyLibrary(false);
    ASSERT_TRUE(syncAndWait());
    EXPECT_EQ(libraryFileBytes().count("<Song "), 0);
    EXPECT_TRUE(refusals.isEmpty());
}

TEST(EmptyLibraryGuardTest, SongsAreCountedAcrossReadBoundaries)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("Library.xml"));
    EXPECT_EQ(EmptyLibraryGuard::songsListedIn(path), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // 3 bytes before each element make some of them straddle 64 KiB reads.
    QByteArray content;
    for (int i = 0; i < 20000; ++i)
        content += "\t\t\t<Song ID=\"" + QByteArray::number(i) + "\"></Song>";
    file.write(content);
    file.close();
    EXPECT_EQ(EmptyLibraryGuard::songsListedIn(path), 20000);
}

TEST_F(OrvanaSyncAppDelegateTest, TheDryRunPromisesTheDestinationsTheCopyUses)
{
    // Names that sanitise to nothing, to one another, or into dot folders.
    addTrack(QStringLiteral("T3"), QStringLiteral("\u0411\u0438-2"), QStringLiteral("\u0410\u043b\u044c\u0431\u043e\u043c"),
             QStringLiteral("\ub178\ub798.mp3"));
    addTrack(QStringLiteral("T4"), QStringLiteral("Ann"), QStringLiteral("First"), QStringLiteral("one?.mp3"));
    addTrack(QStringLiteral("T5"), QStringLiteral("..."), QStringLiteral("\u2606"), QStringLiteral("\u00e9.mp3"));
    addTrack(QStringLiteral("T6"), QStringLiteral("Ann"), QStringLiteral("First"), QStringLiteral("ONE.mp3"));
    delegate->setShareFolder(share);
    // A file of another library where T2 would go.
    QDir().mkpath(share + QStringLiteral("/Music/Bob/Second"));
    QFile foreign(share + QStringLiteral("/Music/Bob/Second/two.mp3"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("another song altogether");
    foreign.close();

    delegate->setDryRun(true);
    ASSERT_TRUE(syncAndWait());
    QMap<QString, QString> promised;
    static const QRegularExpression wouldCopy(QStringLiteral("^Would copy: (.*) to (.*)$"));
    for (const QString &line : logMessages()) {
        if (const QRegularExpressionMatch match = wouldCopy.match(line); match.hasMatch())
            promised.insert(match.captured(1), match.captured(2));
    }
    EXPECT_EQ(promised.size(), library->tracks().size());

    delegate->setDryRun(false);
    for (const auto &track : library->tracks())
        track->setStatus(1);
    ASSERT_TRUE(syncAndWait());
    QMap<QString, QString> copied;
    for (const auto &track : library->tracks())
        copied.insert(track->location(), share + QStringLiteral("/Music/") + track->artistPath() + QLatin1Char('/') +
                                             track->albumPath() + QLatin1Char('/') + track->songPath());
    EXPECT_EQ(promised, copied);
    QSet<QString> distinct;
    for (const auto &[source, destination] : copied.asKeyValueRange()) {
        QFile file(destination);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << destination.toStdString();
        QFile original(source);
        ASSERT_TRUE(original.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), original.readAll());
        distinct.insert(destination.toLower());
    }
    EXPECT_EQ(distinct.size(), copied.size());
}

} // namespace

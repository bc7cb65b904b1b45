#include "tests/library/LibraryTestSupport.h"

#include "library/MusicLibrary.h"
#include "library/SyncReports.h"
#include "library/guid.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <QRegularExpression>
#include <QThread>
#include <QVariantMap>

#include <gtest/gtest.h>

using namespace librarytest;

namespace {

class Notifications : public ::testing::Test {
protected:
    void SetUp() override
    {
        library.setNotifySink(recorder.sink());
    }
    MusicLibrary library;
    NotifyRecorder recorder;
};

} // namespace

TEST_F(Notifications, ErrorsListCodeDomainAndDetailsInOrder)
{
    library.syncNotifyError(QStringLiteral("Failed to copy file"), ErrorRecord(QStringLiteral("com.Orvana.FileIO"), 13));
    ErrorRecord detailed(QStringLiteral("D"), -5);
    detailed.addDetail(QStringLiteral("Zeta"), QStringLiteral("last key first"));
    detailed.addDetail(QStringLiteral("Alpha"), 42);
    library.syncNotifyError(QStringLiteral("T"), detailed);
    ASSERT_EQ(recorder.received.size(), 2);
    EXPECT_EQ(recorder.received[0].activity(), 2);
    EXPECT_EQ(recorder.received[0].title(), QStringLiteral("Failed to copy file"));
    EXPECT_EQ(*recorder.received[0].messages(),
              (QStringList{QStringLiteral("Error Code: 13"), QStringLiteral("Error Domain: com.Orvana.FileIO")}));
    EXPECT_EQ(*recorder.received[1].messages(),
              (QStringList{QStringLiteral("Error Code: -5"), QStringLiteral("Error Domain: D"),
                           QStringLiteral("Zeta: last key first"), QStringLiteral("Alpha: 42")}));
}

TEST_F(Notifications, ExceptionsListNameReasonAndDetails)
{
    library.syncNotifyException(QStringLiteral("Failed to copy artwork (DebugInfo: 0)"),
                                ExceptionRecord(QStringLiteral("Image conversion error"), QStringLiteral("why"),
                                                {{QStringLiteral("k"), QStringLiteral("v")}}));
    ASSERT_EQ(recorder.received.size(), 1);
    EXPECT_EQ(recorder.lines().first(),
              QStringLiteral("2|Failed to copy artwork (DebugInfo: 0)|Exception Name: Image conversion error;"
                             "Exception Reason: why;k: v|0/0"));
}

TEST_F(Notifications, EachSenderFillsOnlyItsFields)
{
    library.syncNotifyTitle(Activity::LoadStageStarts, QStringLiteral("t"));
    library.syncNotifyTitleWithMessage(Activity::Log, QStringLiteral("u"), {QStringLiteral("m")});
    library.syncNotifyProgress(Activity::CoverProgress, std::nullopt, 4, 9);
    library.syncNotifyProgress(Activity::TrackProgress, QStringList{QString(), QString(), QString()}, 0, 3);
    ASSERT_EQ(recorder.received.size(), 4);
    EXPECT_FALSE(recorder.received[0].messages().has_value());
    EXPECT_TRUE(recorder.received[2].title().isNull());
    EXPECT_TRUE(recorder.received[3].title().isNull());
    EXPECT_EQ(recorder.lines(), (QStringList{QStringLiteral("3|t|-|0/0"), QStringLiteral("1|u|m|0/0"),
                                             QStringLiteral("9|-|-|4/9"), QStringLiteral("7|-|;;|0/3")}));
    for (const Notify &notify : recorder.received)
        EXPECT_FALSE(notify.processing());
}

TEST_F(Notifications, WithoutASinkReportsAreDropped)
{
    library.setNotifySink({});
    library.syncNotifyTitle(Activity::Log, QStringLiteral("x"));
    library.syncNotifyError(QStringLiteral("y"), ErrorRecord(QStringLiteral("D"), 1));
    EXPECT_TRUE(recorder.received.isEmpty());
}

// The engine does no thread hop of its own: the application's queue does.
TEST(SyncReports, TheSinkRunsOnTheReportingThreadAndNeedsNoEventLoop)
{
    SyncReports reports;
    QList<QThread *> seen;
    reports.setNotifySink([&seen](const Notify &) { seen.append(QThread::currentThread()); });
    QThread *reportingThread = nullptr;
    QThread *worker = QThread::create([&] {
        reportingThread = QThread::currentThread();
        reports.syncNotifyTitle(Activity::Log, QStringLiteral("x"));
        reports.syncNotifyError(QStringLiteral("y"), ErrorRecord(QStringLiteral("D"), 1));
    });
    worker->start();
    ASSERT_TRUE(worker->wait(10000));
    delete worker;
    EXPECT_EQ(seen, (QList<QThread *>{reportingThread, reportingThread}));
}

TEST(Guid, IsAnUpperCaseUuidAndNeverRepeats)
{
    const QRegularExpression form(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    QSet<QString> seen;
    for (int index = 0; index < 100; ++index) {
        const QString text = guid().uniqueId();
        EXPECT_EQ(text.size(), 36);
        EXPECT_TRUE(form.match(text).hasMatch()) << text.toStdString();
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 100);
}

TEST(PlaylistRecord, DescriptionAndArchiveKeys)
{
    FakePlaylist playlist(QStringLiteral("ABC123"), QStringLiteral("Road Trip"), {QStringLiteral("T1")});
    playlist.getPlaylistTrackIDs();
    playlist.setIsExpanded(true);
    EXPECT_EQ(playlist.description(), QStringLiteral("Name=Road Trip, ID=ABC123"));

    auto stored = std::make_shared<FakePlaylist>(playlist);
    const QVariantMap selection{{QStringLiteral("ABC123"), QVariant::fromValue<KeyedCodablePtr>(stored)}};
    const QByteArray data = KeyedArchiver::archivedData(selection);
    ASSERT_FALSE(data.isEmpty());
    EXPECT_TRUE(data.contains("iTunesMusicPlaylist"));
    EXPECT_TRUE(data.contains("PersistentID"));
    EXPECT_FALSE(data.contains("T1"));

    KeyedUnarchiver unarchiver;
    // The application registers its playlist class; the base class serves here.
    unarchiver.registerClass(QStringLiteral("Playlist"), &Playlist::decodePlaylist);
    const std::optional<QVariant> restored = unarchiver.unarchive(data);
    ASSERT_TRUE(restored);
    const QVariantMap map = restored->toMap();
    ASSERT_EQ(map.keys(), QStringList{QStringLiteral("ABC123")});
    const auto back = std::dynamic_pointer_cast<Playlist>(map.first().value<KeyedCodablePtr>());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name(), QStringLiteral("Road Trip"));
    EXPECT_EQ(back->persistentId(), QStringLiteral("ABC123"));
    EXPECT_FALSE(back->tracks().has_value());
    EXPECT_FALSE(back->isSelected());
    EXPECT_FALSE(back->isExpanded());
}

TEST(AlbumCoverRecord, BaseHasNoArtwork)
{
    AlbumCover cover;
    EXPECT_FALSE(cover.copyArtwork(QStringLiteral("/tmp")));
    EXPECT_TRUE(cover.artworkFileName().isNull());
    EXPECT_EQ(cover.debugInfo(), 0);
    EXPECT_FALSE(cover.exc().has_value());
    Playlist playlist;
    EXPECT_FALSE(playlist.getPlaylistTracks().isValid());
}

TEST(LibraryModelRecord, ItsEndReleasesEveryTrackAndKeepsTheOnesHeldElsewhere)
{
    std::vector<std::weak_ptr<Track>> released;
    std::shared_ptr<Track> kept;
    {
        MusicLibrary library;
        for (int index = 0; index < 1000; ++index) {
            const QString id = QStringLiteral("T%1").arg(index);
            auto track = makeTrack(id, QStringLiteral("/m/a/b/%1.mp3").arg(index));
            library.tracks().insert(id, track);
            released.push_back(track);
        }
        kept = library.tracks().value(QStringLiteral("T500"));
    }
    for (const std::weak_ptr<Track> &track : released) {
        if (track.lock() != kept) {
            EXPECT_TRUE(track.expired());
        }
    }
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->persistentId(), QStringLiteral("T500"));
    EXPECT_EQ(kept.use_count(), 1);
}

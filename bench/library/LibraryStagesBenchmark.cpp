// The four engine stages of a sync run over a synthetic library of 100,000
// tracks in 10,000 albums and 200 playlists that is already on the share:
// every track is listed by the previous library file and every cover by the
// previous artwork file, so nothing is copied or exported. The report sink
// does nothing. Also times `xmllint --stream --noout` on the same
// library file for comparison, and reports the peak resident memory.
#include "library/AlbumCover.h"
#include "library/MusicLibrary.h"
#include "library/Playlist.h"
#include "library/Track.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr int TrackCount = 100000;
constexpr int AlbumCount = 10000;
constexpr int PlaylistCount = 200;
constexpr int PlaylistLength = 500;

struct SyntheticShare {
    QTemporaryDir share;
    MusicLibrary library;

    SyntheticShare()
    {
        library.setNotifySink([](const Notify &) {});
        library.sharePaths() = SharePaths{.xmlTracksPath = share.path() + QStringLiteral("/Library/BENCH.xml"),
                                          .xmlAlbumCoverPath = share.path() + QStringLiteral("/Artwork/Artwork.xml"),
                                          .cpyBasePath = share.path() + QStringLiteral("/Music"),
                                          .albumCoverBasePath = share.path() + QStringLiteral("/Artwork"),
                                          .serverSharePath = QStringLiteral("\\\\192.168.1.20\\OrvanaMusic")};
        library.setSyncCompleteMusicLibrary(true);
        library.setSyncVersion(QStringLiteral("1.0.0"));
        for (int index = 0; index < TrackCount; ++index) {
            const int album = index % AlbumCount;
            const QString artist = QStringLiteral("Artist %1").arg(album / 4);
            const QString albumName = QStringLiteral("Album Title %1").arg(album);
            auto track = std::make_shared<Track>();
            track->setPersistentId(QStringLiteral("%1").arg(quint64(0x3A5F000000000000ull) + quint64(index), 16, 16,
                                                           QLatin1Char('0')).toUpper());
            track->setLocation(QStringLiteral("/home/user/Music/%1/%2/%3 Song Title Number %3.m4a")
                                   .arg(artist, albumName).arg(index));
            track->setAlbum(albumName);
            track->setAlbumArtist(artist);
            track->setAlbumID(artist + u'-' + albumName);
            track->setArtists(artist);
            track->setBitRate(256);
            track->setComposers(QStringLiteral("Composer & Partner"));
            track->setDisc(1);
            track->setDuration(float(180000 + index % 1000 * 250.5));
            track->setGenres(QStringLiteral("Rock"));
            track->setSampleRate(44100);
            track->setSize(5000000 + index);
            track->setTitle(QStringLiteral("Song Title Number %1").arg(index));
            track->setTotalDiscs(1);
            track->setTotalTracks(10);
            track->setTrack(index % 10 + 1);
            track->setReleased(1990 + index % 30);
            track->setType(QStringLiteral("m4a"));
            track->setStatus(0);
            library.tracks().insert(track->persistentId(), track);
            library.sortedTracks().append(track->persistentId());
            if (!library.albumCovers().contains(track->albumID())) {
                auto cover = std::make_shared<AlbumCover>();
                cover->setStatus(0);
                cover->setPath(QStringLiteral("\\\\192.168.1.20\\OrvanaMusic\\Artwork\\%1.jpg").arg(track->persistentId()));
                library.albumCovers().insert(track->albumID(), cover);
            }
        }
        for (int index = 0; index < PlaylistCount; ++index) {
            auto playlist = std::make_shared<Playlist>();
            playlist->setPersistentId(QStringLiteral("PL%1").arg(index, 14, 10, QLatin1Char('0')));
            playlist->setName(QStringLiteral("Playlist %1").arg(index));
            QStringList members;
            for (int member = 0; member < PlaylistLength; ++member)
                members.append(library.sortedTracks().at((index * 7919 + member * 31) % TrackCount));
            playlist->setTracks(members);
            playlist->setIsExpanded(true);
            playlist->setIsSelected(true);
            library.playlists().insert(playlist->persistentId(), playlist);
        }
        // The previous run's files.
        library.writeXMLTracks(QStringLiteral("BENCH"), QStringLiteral("Benchmark Library"));
        library.writeXMLAlbumCovers();
    }

    void markEverythingNew()
    {
        for (const auto &track : std::as_const(library.tracks()))
            track->setStatus(1);
        for (const auto &cover : std::as_const(library.albumCovers()))
            cover->setStatus(1);
    }
};

SyntheticShare &share()
{
    static SyntheticShare instance;
    return instance;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_SyncStagesAlreadyOnShare(benchmark::State &state)
{
    SyntheticShare &fixture = share();
    MusicLibrary &library = fixture.library;
    for (auto _ : state) {
        state.PauseTiming();
        fixture.markEverythingNew();
        state.ResumeTiming();
        library.syncTracks(library.sharePaths().xmlTracksPath);
        library.writeXMLTracks(QStringLiteral("BENCH"), QStringLiteral("Benchmark Library"));
        library.syncAlbumCovers(library.sharePaths().xmlAlbumCoverPath);
        library.writeXMLAlbumCovers();
    }
    if (library.counters().numTracksUnchanged != TrackCount || library.counters().numTracksCopied != 0
        || library.counters().numAlbumCoversUnchanged != AlbumCount || library.counters().numAlbumCoversCopied != 0)
        state.SkipWithError("the synthetic share was not recognised as up to date");
    state.counters["library_file_MB"] = double(QFileInfo(library.sharePaths().xmlTracksPath).size()) / (1024.0 * 1024.0);
    state.counters["peak_rss_MB"] = peakMegabytes();
}
BENCHMARK(BM_SyncStagesAlreadyOnShare)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ReadLibraryFileOnly(benchmark::State &state)
{
    SyntheticShare &fixture = share();
    for (auto _ : state) {
        state.PauseTiming();
        fixture.markEverythingNew();
        state.ResumeTiming();
        fixture.library.syncTracks(fixture.library.sharePaths().xmlTracksPath);
    }
}
BENCHMARK(BM_ReadLibraryFileOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_XmllintStreamSameFile(benchmark::State &state)
{
    const QString path = share().library.sharePaths().xmlTracksPath;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const int status = QProcess::execute(QStringLiteral("xmllint"), {QStringLiteral("--stream"), QStringLiteral("--noout"), path});
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (status != 0) {
            state.SkipWithError("xmllint failed");
            break;
        }
    }
}
BENCHMARK(BM_XmllintStreamSameFile)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}


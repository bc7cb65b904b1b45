// Loading a large library export and scanning a music folder.
//
//   itunes_benchmarks                      Google Benchmark runs
//   itunes_benchmarks --write-export=F     writes the 100,000-track export to F
//   itunes_benchmarks --load-export=F      loads F once into a library, prints seconds
//
// bench/itunes/compare_export_load.py runs the last two against python3's
// plistlib on the same file.
#include "itunes/CoverJpegEncoder.h"
#include "itunes/ExportLibraryReader.h"
#include "itunes/ExportMusicSource.h"
#include "itunes/FolderMusicSource.h"
#include "itunes/TagCache.h"
#include "itunes/iTunesMusicLibrary.h"
#include "xml/XmlPushParser.h"

#include "tests/itunes/ImageFixtures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr int ExportTracks = 100000;
constexpr int ExportPlaylists = 200;
constexpr int FolderFiles = 2000;

QString sourceDir()
{
    return qEnvironmentVariable("ORVANA_SOURCE_DIR", QStringLiteral(ORVANA_SOURCE_DIR_DEFAULT));
}

// An export like the ones real libraries give: every track with the usual
// two dozen keys, a master playlist and 200 playlists of 1 to 1,000 tracks.
bool writeExport(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::mt19937 random(42);
    QByteArray out;
    out.reserve(1 << 20);
    const auto flush = [&] {
        file.write(out);
        out.clear();
    };
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n\t<key>Major Version</key><integer>1</integer>\n"
           "\t<key>Minor Version</key><integer>1</integer>\n\t<key>Application Version</key><string>12.9.5.5</string>\n"
           "\t<key>Music Folder</key><string>file://localhost/C:/Users/ann/Music/iTunes/iTunes%20Media/</string>\n"
           "\t<key>Tracks</key>\n\t<dict>\n";
    for (int i = 0; i < ExportTracks; ++i) {
        const int id = 1000 + i;
        const int artist = i / 100;
        const int album = i / 10;
        const QByteArray n = QByteArray::number(id);
        out += "\t\t<key>" + n + "</key>\n\t\t<dict>\n";
        out += "\t\t\t<key>Track ID</key><integer>" + n + "</integer>\n";
        out += "\t\t\t<key>Size</key><integer>" + QByteArray::number(3000000 + int(random() % 9000000)) + "</integer>\n";
        out += "\t\t\t<key>Total Time</key><integer>" + QByteArray::number(120000 + int(random() % 300000)) + "</integer>\n";
        out += "\t\t\t<key>Disc Number</key><integer>1</integer>\n\t\t\t<key>Disc Count</key><integer>1</integer>\n";
        out += "\t\t\t<key>Track Number</key><integer>" + QByteArray::number(i % 10 + 1) + "</integer>\n";
        out += "\t\t\t<key>Track Count</key><integer>10</integer>\n";
        out += "\t\t\t<key>Year</key><integer>" + QByteArray::number(1960 + artist % 60) + "</integer>\n";
        out += "\t\t\t<key>Date Modified</key><date>2019-03-14T18:22:07Z</date>\n";
        out += "\t\t\t<key>Date Added</key><date>2019-03-14T18:25:41Z</date>\n";
        out += "\t\t\t<key>Bit Rate</key><integer>256</integer>\n\t\t\t<key>Sample Rate</key><integer>44100</integer>\n";
        out += "\t\t\t<key>Play Count</key><integer>" + QByteArray::number(int(random() % 50)) + "</integer>\n";
        out += "\t\t\t<key>Play Date</key><integer>3637315200</integer>\n";
        out += "\t\t\t<key>Play Date UTC</key><date>2019-04-05T10:00:00Z</date>\n";
        out += "\t\t\t<key>Persistent ID</key><string>" + QByteArray::number(0x1000000000000000ULL + quint64(i) * 7919, 16).toUpper() + "</string>\n";
        out += "\t\t\t<key>Track Type</key><string>File</string>\n";
        out += "\t\t\t<key>File Folder Count</key><integer>5</integer>\n\t\t\t<key>Library Folder Count</key><integer>1</integer>\n";
        out += "\t\t\t<key>Name</key><string>Song Number " + n + "</string>\n";
        out += "\t\t\t<key>Artist</key><string>Artist " + QByteArray::number(artist) + "</string>\n";
        out += "\t\t\t<key>Album Artist</key><string>Artist " + QByteArray::number(artist) + "</string>\n";
        out += "\t\t\t<key>Composer</key><string>Composer &amp; Friends</string>\n";
        out += "\t\t\t<key>Album</key><string>Album " + QByteArray::number(album) + "</string>\n";
        out += "\t\t\t<key>Genre</key><string>Rock</string>\n\t\t\t<key>Kind</key><string>AAC audio file</string>\n";
        out += "\t\t\t<key>Location</key><string>file://localhost/C:/Users/ann/Music/iTunes/iTunes%20Media/Music/Artist%20"
            + QByteArray::number(artist) + "/Album%20" + QByteArray::number(album) + "/" + QByteArray::number(i % 10 + 1)
            + "%20Song%20Number%20" + n + ".m4a</string>\n";
        out += "\t\t</dict>\n";
        if (out.size() > (1 << 20))
            flush();
    }
    out += "\t</dict>\n\t<key>Playlists</key>\n\t<array>\n";
    for (int p = 0; p <= ExportPlaylists; ++p) {
        const bool master = p == 0;
        out += "\t\t<dict>\n\t\t\t<key>Name</key><string>" + (master ? QByteArray("Library") : "Playlist " + QByteArray::number(p)) + "</string>\n";
        if (master)
            out += "\t\t\t<key>Master</key><true/>\n\t\t\t<key>Visible</key><false/>\n";
        out += "\t\t\t<key>Playlist ID</key><integer>" + QByteArray::number(500000 + p) + "</integer>\n";
        out += "\t\t\t<key>Playlist Persistent ID</key><string>" + QByteArray::number(0x2000000000000000ULL + quint64(p), 16).toUpper() + "</string>\n";
        out += "\t\t\t<key>All Items</key><true/>\n\t\t\t<key>Playlist Items</key>\n\t\t\t<array>\n";
        const int count = master ? ExportTracks : 1 + int(random() % 1000);
        for (int k = 0; k < count; ++k) {
            const int id = 1000 + (master ? k : int(random() % ExportTracks));
            out += "\t\t\t\t<dict>\n\t\t\t\t\t<key>Track ID</key><integer>" + QByteArray::number(id) + "</integer>\n\t\t\t\t</dict>\n";
            if (out.size() > (1 << 20))
                flush();
        }
        out += "\t\t\t</array>\n\t\t</dict>\n";
    }
    out += "\t</array>\n</dict>\n</plist>\n";
    flush();
    return file.flush();
}

const QString &exportFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.filePath(QStringLiteral("iTunes Music Library.xml"));
        writeExport(file);
        return file;
    }();
    return path;
}

int loadIntoLibrary(const QString &path)
{
    iTunesMusicLibrary library;
    library.setMusicSource(path);
    library.setMusicSourcePathMap(QStringLiteral("file://localhost/C:/Users/ann/Music/=/nonexistent/Music/"));
    library.loadiTunesLibrary();
    return int(library.tracks().size()) + int(library.playlists().size());
}

void BM_ReadExport(benchmark::State &state)
{
    const QString &path = exportFile();
    for (auto _ : state) {
        ExportLibraryReader reader;
        if (!reader.readFile(path))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(reader.contents().tracks.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(path).size());
    state.SetItemsProcessed(int64_t(state.iterations()) * ExportTracks);
}
BENCHMARK(BM_ReadExport)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor under BM_ReadExport: libxml2's SAX2 push parse of the same file,
// every event delivered to a handler that only counts elements; with 1, the
// parse on a helper thread and the events relayed to the handler (what the
// relay costs the thread that parses).
void BM_BareSaxParseOfExport(benchmark::State &state)
{
    struct CountingHandler : XmlPushParser::Handler {
        qsizetype elements = 0;
        void startElement(QByteArrayView, QByteArrayView, const XmlAttributes &) override { ++elements; }
    };
    const QString &path = exportFile();
    for (auto _ : state) {
        CountingHandler handler;
        XmlPushParser::Options options;
        options.parseOnHelperThread = state.range(0) != 0;
        XmlPushParser parser(handler, options);
        if (!parser.readFile(path))
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(handler.elements);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(path).size());
}
BENCHMARK(BM_BareSaxParseOfExport)->Arg(0)->Arg(1)->ArgName("helper")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_LoadExportIntoLibrary(benchmark::State &state)
{
    const QString &path = exportFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(loadIntoLibrary(path));
    state.SetItemsProcessed(int64_t(state.iterations()) * ExportTracks);
}
BENCHMARK(BM_LoadExportIntoLibrary)->Unit(benchmark::kMillisecond)->Iterations(3);

// 2,000 small tagged files, 20 per album folder, the four formats in turn.
const QString &musicFolder()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString data = QDir(sourceDir()).filePath(QStringLiteral("tests/itunes/data/"));
        const QStringList fixtures = {QStringLiteral("song.mp3"), QStringLiteral("song.m4a"), QStringLiteral("song.flac"),
                                      QStringLiteral("song.ogg")};
        for (int i = 0; i < FolderFiles; ++i) {
            const QString &fixture = fixtures.at(i % fixtures.size());
            const QString folder = dir.filePath(QStringLiteral("Artist %1/Album %2").arg(i / 200).arg(i / 20));
            QDir().mkpath(folder);
            QFile::copy(data + fixture, folder + QStringLiteral("/%1 Song.%2").arg(i).arg(QFileInfo(fixture).suffix()));
        }
        return dir.path();
    }();
    return path;
}

// cached:0 reads every file's tags (a first run); cached:1 takes them from
// the tags kept by the run before (a run over an unchanged folder).
void loadIntoLibraryFromFolder(const QString &folder)
{
    iTunesMusicLibrary library;
    auto application = std::make_shared<MusicApplication>();
    FolderMusicSource::open(folder, *application);
    library.setITunes(application);
    library.loadiTunesLibrary();
}

void BM_ScanFolder(benchmark::State &state)
{
    const QString &folder = musicFolder();
    const bool cached = state.range(0) == 1;
    if (cached) {
        // Files written moments ago are read again on every run (their change
        // time could still move unseen): let the new folder's settle.
        QThread::msleep(2100);
        loadIntoLibraryFromFolder(folder);
    }
    for (auto _ : state) {
        if (!cached) {
            state.PauseTiming();
            QFile::remove(TagCache::fileFor(folder));
            state.ResumeTiming();
        }
        iTunesMusicLibrary library;
        auto application = std::make_shared<MusicApplication>();
        FolderMusicSource::open(folder, *application);
        library.setITunes(application);
        library.loadiTunesLibrary();
        if (library.tracks().size() != FolderFiles)
            state.SkipWithError("fixtures missing (set ORVANA_SOURCE_DIR)");
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * FolderFiles);
}
BENCHMARK(BM_ScanFolder)->Arg(0)->Arg(1)->ArgName("cached")->Unit(benchmark::kMillisecond)->Iterations(3);

// Artworks whose headers claim 65,500 x 65,500 pixels and hold a few bytes:
// refused before any pixel memory is taken.
void BM_RefuseEnormousArtworkHeader(benchmark::State &state)
{
    const QByteArray bytes = state.range(0) == 0 ? ImageFixtures::hugePngHeader() : ImageFixtures::hugeBmpHeader();
    for (auto _ : state) {
        if (!CoverJpegEncoder::decode(bytes).isNull())
            state.SkipWithError("decoded");
    }
}
BENCHMARK(BM_RefuseEnormousArtworkHeader)->Arg(0)->Arg(1)->ArgName("png0_bmp1")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    // The music folder's tags are kept in a cache folder of the run's own.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--write-export=", 15) == 0)
            return writeExport(QString::fromLocal8Bit(argv[i] + 15)) ? 0 : 1;
        if (std::strncmp(argv[i], "--load-export=", 14) == 0) {
            QElapsedTimer timer;
            timer.start();
            const int loaded = loadIntoLibrary(QString::fromLocal8Bit(argv[i] + 14));
            std::printf("%.3f %d\n", double(timer.nsecsElapsed()) / 1e9, loaded);
            return loaded > 0 ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

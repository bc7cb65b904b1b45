#include "app/SyncPage.h"
#include "desktop/SyncPageView.h"
#include "library/Notify.h"

#include <QApplication>
#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

// Appends 1,000 log lines to a shown sync page whose log already holds
// state.range(0) lines; the time per batch should not grow with the log.
void BM_AppendToLog(benchmark::State &state)
{
    SyncPage page;
    page.setClock([] { return QStringLiteral("12:00:00"); });
    SyncPageView view(page);
    view.resize(720, 600);
    view.show();
    const QString line = QStringLiteral("Song: Morning, Album: First Light, Artist: Ann Arbor");
    for (int64_t n = 0; n < state.range(0); ++n)
        page.logDateAndTitle(line);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        for (int n = 0; n < 1000; ++n)
            page.logDateAndTitle(line);
        // The view repaints once per batch, as it does between reports.
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_AppendToLog)->Arg(0)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A run's reports as the window gets them: batches of 1,000 track reports
// (the labels, the bar and a log line each) on a log of 100,000 lines.
// state.range(0): 1 shows each batch at its end, 0 each report as it comes.
void BM_ShowTrackReports(benchmark::State &state)
{
    SyncPage page;
    page.setClock([] { return QStringLiteral("12:00:00"); });
    SyncPageView view(page);
    bool batch = false;
    if (state.range(0) == 1)
        view.deferShowingWhile([&batch] { return batch; });
    view.resize(720, 600);
    view.show();
    for (int n = 0; n < 100000; ++n)
        page.logDateAndTitle(QStringLiteral("Song: Morning, Album: First Light, Artist: Ann Arbor"));
    QCoreApplication::processEvents();
    Notify track;
    track.setActivity(7);
    track.setMaxProgress(1000000);
    int progress = 1;
    for (auto _ : state) {
        batch = true;
        for (int n = 0; n < 1000; ++n, ++progress) {
            track.setProgress(progress);
            track.setMessages(QStringList{QStringLiteral("Song %1").arg(progress), QStringLiteral("First Light"),
                               QStringLiteral("Ann Arbor")});
            page.onSyncNotifictionEvent(&track);
        }
        batch = false;
        view.showDeferred();
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ShowTrackReports)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

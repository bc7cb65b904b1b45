#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>

// Tests run with an application object so that event loops, timers and
// network access work as they do in the programs.
int main(int argc, char **argv)
{
    // What the programs keep between runs (the music folder's tags) goes to
    // a folder of the test's own, also for the programs it starts.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

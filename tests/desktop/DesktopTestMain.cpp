#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gmock/gmock.h>

// The window's tests need a widget application (offscreen, or xcb under Xvfb).
int main(int argc, char **argv)
{
    // Also when run by hand or listed for discovery, without a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the program keeps between runs goes to a folder of the test's own.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

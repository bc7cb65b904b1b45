#include <QCoreApplication>

#include <gmock/gmock.h>

// Tests run with an application object so that event loops, timers and
// network access work as they do in the programs.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "cli/CliOptions.h"
#include "cli/CliProgram.h"
#include "platform/LargeHeapPages.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char **argv)
{
    useLargeHeapPages();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvanasync-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANA_VERSION));
    CliProgram program;
    return program.run(CliOptions::parse(app.arguments().mid(1)));
}

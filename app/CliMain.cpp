#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

const char *const usage =
    "Usage: orvanasync-cli <command> [options]\n"
    "\n"
    "Copies a music library to a music server's share and asks the server\n"
    "to refresh its media collection.\n"
    "\n"
    "Commands:\n"
    "  sync         run one synchronisation\n"
    "  playlists    list the playlists of the music source\n"
    "\n"
    "Options:\n"
    "  --version    print the version and exit\n"
    "  --help       print this help and exit\n";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvanasync-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANA_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.contains(QStringLiteral("--version"))) {
        out << "orvanasync-cli " << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    if (arguments.isEmpty() || arguments.contains(QStringLiteral("--help"))) {
        out << usage;
        return 0;
    }
    err << "orvanasync-cli: unknown command " << arguments.first() << "\n\n" << usage;
    return 2;
}

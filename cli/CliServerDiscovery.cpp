#include "cli/CliServerDiscovery.h"

#include "app/OrvanaSyncAppDelegate.h"
#include "app/ServerDiscovery.h"
#include "cli/TsvField.h"
#include "discovery/SystemServiceBrowser.h"
#include "platform/ControlCharacters.h"

#include <QEventLoop>
#include <QTimer>

namespace {

// Runs the event loop until `done` holds (checked whenever discovery has
// news) or waitMs have passed.
void waitFor(ServerDiscovery &discovery, const std::function<bool()> &done, int waitMs)
{
    if (done())
        return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    QObject::connect(&discovery, &ServerDiscovery::serverEntriesChanged, &loop, check);
    QObject::connect(&discovery, &ServerDiscovery::discoverySettled, &loop, check);
    QObject::connect(&discovery, &ServerDiscovery::discoveryUnavailable, &loop, check);
    deadline.start(waitMs);
    loop.exec();
}

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0);
}

} // namespace

int CliServerDiscovery::listServers(const CliOptions &options, FILE *out, FILE *err)
{
    ServerDiscovery discovery;
    discovery.setTraceOutput(err);
    discovery.startBrowsing(makeSystemServiceBrowser());
    waitFor(discovery, [&] { return discovery.settled() || !discovery.unavailableReason().isNull(); },
            options.waitMs().value_or(serversWaitMs));
    const QString unavailable = discovery.unavailableReason();
    discovery.stopBrowsing();

    QByteArray lines;
    for (const OVServiceInfo &server : std::as_const(discovery.svcBrowserList())) {
        if (server.ipAddresses().isEmpty())
            continue;
        lines += tsvField(server.svcName()) + '\t' + server.ipAddresses().first().toLatin1() + '\t' +
                 server.ports().first().toLatin1() + '\n';
    }
    std::fwrite(lines.constData(), 1, size_t(lines.size()), out);
    std::fflush(out);
    if (unavailable.isNull())
        return 0;
    std::fprintf(err,
                 "orvanasync-cli: server discovery is not available (%s): is avahi-daemon installed and running? "
                 "A server can still be given by its address with sync --server ADDRESS\n",
                 ControlCharacters::escaped(unavailable).toLocal8Bit().constData());
    std::fflush(err);
    return 1;
}

QString CliServerDiscovery::chooseServer(const CliOptions &options, OrvanaSyncAppDelegate &delegate, FILE *trace,
                                         const std::function<void(const QString &)> &warn)
{
    const QString byAddress = OrvanaSyncAppDelegate::SelectByAddressEntry;
    if (!options.server().isNull()) {
        delegate.setMusicServerIPAddress(options.server());
        delegate.selectServer(0, byAddress);
        return {};
    }
    ServerDiscovery &discovery = delegate.discovery();
    const bool byName = !options.serverName().isNull();
    const QString wanted = byName ? options.serverName() : discovery.musicServerName();
    if (!byName && (delegate.selectByIPAddress() || wanted.isEmpty())) {
        delegate.selectServer(0, byAddress);
        return {};
    }
    if (byName) {
        discovery.setMusicServerName(wanted);
        discovery.restoreSelectByIPAddress(false);
    }
    discovery.setTraceOutput(trace);
    delegate.startBrowsing();
    // A name given is waited for to the end (the daemon may come back); the
    // stored one only until every server found so far is known.
    const int waitMs = options.waitMs().value_or(syncWaitMs);
    waitFor(discovery, [&] {
        return !discovery.matchingServerName(wanted).isNull() ||
               (!byName && (discovery.settled() || !discovery.unavailableReason().isNull()));
    }, waitMs);
    const QString match = discovery.matchingServerName(wanted);
    const QString unavailable = discovery.unavailableReason();
    delegate.stopBrowsing();

    if (!match.isNull()) {
        delegate.selectServer(int(discovery.entries().indexOf(match)), match);
        return {};
    }
    const QString why = unavailable.isNull() ? QString()
                                             : QStringLiteral(" (server discovery is not available: %1)").arg(unavailable);
    if (byName) {
        return QStringLiteral("no server announced as \"%1\" was found on the network within %2 seconds%3: "
                              "orvanasync-cli servers lists those found; --server ADDRESS gives one by address")
            .arg(wanted, seconds(waitMs), why);
    }
    delegate.selectServer(0, byAddress);
    warn(QStringLiteral("warning: the stored server \"%1\" was not found on the network%2; using the stored address")
             .arg(wanted, why));
    return {};
}

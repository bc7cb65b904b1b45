#include "soap/SoapReachability.h"

#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

SoapReachability::NetworkStateSource &stateSource()
{
    static SoapReachability::NetworkStateSource source;
    return source;
}

SoapReachability::Resolver &resolverOverride()
{
    static SoapReachability::Resolver resolver;
    return resolver;
}

std::optional<SoapReachability::NetworkState> currentState()
{
    const SoapReachability::NetworkStateSource &source = stateSource();
    return source ? source() : SoapReachability::systemNetworkState();
}

void printFlagsError()
{
    std::printf("Error. Could not recover network reachability flags\n");
    std::fflush(stdout);
}

// The blocking IPv4 lookup behind getIPAddressForHost and localIPAddress.
QString resolveIPv4(const QByteArray &host)
{
    in_addr dotted{};
    if (inet_pton(AF_INET, host.constData(), &dotted) == 1)
        return QString::fromLatin1(host);
    const SoapReachability::Resolver &resolver = resolverOverride();
    if (resolver)
        return resolver(QString::fromUtf8(host));
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *results = nullptr;
    const int status = getaddrinfo(host.constData(), nullptr, &hints, &results);
    if (status != 0 || !results) {
        std::fprintf(stderr, "resolv: %s\n", gai_strerror(status != 0 ? status : EAI_NONAME));
        return QString();
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto *address = reinterpret_cast<const sockaddr_in *>(results->ai_addr);
    const bool written = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    freeaddrinfo(results);
    return written ? QString::fromLatin1(text) : QString();
}

} // namespace

bool SoapReachability::connectedToNetwork()
{
    const std::optional<NetworkState> state = currentState();
    if (!state) {
        printFlagsError();
        return false;
    }
    for (const Route &route : state->routes) {
        if (!route.loopback)
            return true;
    }
    return false;
}

bool SoapReachability::hostAvailable(const QString &host)
{
    const QString ip = getIPAddressForHost(host);
    if (ip.isNull()) {
        std::printf("Error recovering IP address from host name\n");
        std::fflush(stdout);
        return false;
    }
    sockaddr_in address{};
    if (!addressFromString(ip, &address)) {
        std::printf("Error recovering sockaddr address from %s\n", ip.toUtf8().constData());
        std::fflush(stdout);
        return false;
    }
    // Loopback is reachable whatever the state of the network.
    const quint32 target = ntohl(address.sin_addr.s_addr);
    if ((target >> 24) == 127)
        return true;
    const std::optional<NetworkState> state = currentState();
    if (!state) {
        printFlagsError();
        return false;
    }
    if (state->localAddresses.contains(target))
        return true;
    for (const Route &route : state->routes) {
        if ((target & route.mask) == (route.destination & route.mask))
            return true;
    }
    return false;
}

QString SoapReachability::getIPAddressForHost(const QString &host)
{
    if (host.isNull())
        return QString();
    return resolveIPv4(host.toUtf8());
}

QString SoapReachability::localIPAddress()
{
    char hostName[256] = {};
    if (gethostname(hostName, 255) != 0)
        return QString();
    hostName[255] = '\0';
    const QByteArray localName = QByteArray(hostName) + ".local";
    // A name that does not fit the resolver's 255 bytes would be looked up cut short.
    if (localName.size() >= 255)
        return QString();
    return resolveIPv4(localName);
}

bool SoapReachability::addressFromString(const QString &text, sockaddr_in *address)
{
    if (text.isEmpty() || !address)
        return false;
    address->sin_family = AF_INET;
    const QByteArray ascii = text.toUtf8();
    return inet_aton(ascii.constData(), &address->sin_addr) != 0;
}

std::optional<SoapReachability::NetworkState> SoapReachability::systemNetworkState()
{
    QFile table(QStringLiteral("/proc/net/route"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    NetworkState state;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    auto findInterface = [&interfaces](const QString &name) -> const QNetworkInterface * {
        for (const QNetworkInterface &candidate : interfaces) {
            if (candidate.name() == name)
                return &candidate;
        }
        return nullptr;
    };
    table.readLine(); // column titles
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() < 8)
            continue;
        bool destinationRead = false, flagsRead = false, maskRead = false;
        const quint32 destination = fields.at(1).toUInt(&destinationRead, 16);
        const quint32 flags = fields.at(3).toUInt(&flagsRead, 16);
        const quint32 mask = fields.at(7).toUInt(&maskRead, 16);
        if (!destinationRead || !flagsRead || !maskRead || !(flags & 0x1)) // RTF_UP
            continue;
        const QString name = QString::fromLatin1(fields.at(0));
        const QNetworkInterface *networkInterface = findInterface(name);
        if (networkInterface && !(networkInterface->flags() & QNetworkInterface::IsUp))
            continue;
        Route route;
        route.destination = ntohl(destination);
        route.mask = ntohl(mask);
        route.loopback = networkInterface ? bool(networkInterface->flags() & QNetworkInterface::IsLoopBack)
                                          : name == u"lo";
        state.routes.append(route);
    }
    for (const QNetworkInterface &networkInterface : interfaces) {
        if (!(networkInterface.flags() & QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry &entry : networkInterface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                state.localAddresses.append(entry.ip().toIPv4Address());
        }
    }
    return state;
}

void SoapReachability::setNetworkStateSource(NetworkStateSource source)
{
    stateSource() = std::move(source);
}

void SoapReachability::setResolver(Resolver resolver)
{
    resolverOverride() = std::move(resolver);
}

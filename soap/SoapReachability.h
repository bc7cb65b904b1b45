#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct sockaddr_in;

// Network and host checks made before a request goes out. They look at this
// machine's interfaces and IPv4 routes (no traffic is sent); host names are
// resolved with the system's blocking IPv4 lookup.
class SoapReachability {
public:
    // One IPv4 route of the routing table (addresses in host byte order).
    struct Route {
        quint32 destination = 0;
        quint32 mask = 0;
        bool loopback = false; // through a loopback interface
    };
    // What the checks look at: the routes of interfaces that are up, and
    // this machine's own IPv4 addresses.
    struct NetworkState {
        QList<Route> routes;
        QList<quint32> localAddresses;
    };
    using NetworkStateSource = std::function<std::optional<NetworkState>()>;
    using Resolver = std::function<QString(const QString &host)>;

    // A route through a non-loopback interface exists (none: the state
    // cannot be read, with "Error. Could not recover network reachability
    // flags" on standard output).
    static bool connectedToNetwork();
    // The host resolves and its address is local, loopback, or covered by a route.
    static bool hostAvailable(const QString &host);
    // Dotted IPv4 text of host's first address, or null; a dotted address
    // is its own answer without a lookup.
    static QString getIPAddressForHost(const QString &host);
    // This machine's "<hostname>.local" resolved, or null.
    static QString localIPAddress();
    // Fills an IPv4 socket address (family and address; the port is kept)
    // from dotted text; false for null, empty or malformed text.
    static bool addressFromString(const QString &text, sockaddr_in *address);

    // The machine's state read from the system (routing table and interfaces).
    static std::optional<NetworkState> systemNetworkState();
    // Test seams: replace the state source or the resolver (an empty
    // function restores the system's).
    static void setNetworkStateSource(NetworkStateSource source);
    static void setResolver(Resolver resolver);
};

#pragma once

#include "discovery/AvahiConnection.h"
#include "discovery/ServiceBrowser.h"

#include <QMap>

#include <avahi-client/lookup.h>

// The service browser over the Avahi daemon. When the daemon goes away the
// services found stay known; once it is back the browser browses again, and
// the services not found again by its first "all for now" are reported
// removed then.
class AvahiNetServiceBrowser : public ServiceBrowser {
    Q_OBJECT

public:
    explicit AvahiNetServiceBrowser(QObject *parent = nullptr);
    ~AvahiNetServiceBrowser() override;

    void searchForServices(const QString &type, const QString &domain) override;
    void stop() override;
    void resolve(const QString &name, int timeoutMs) override;

private:
    // Where one name is announced: an interface and a protocol.
    struct Location {
        AvahiIfIndex interface;
        AvahiProtocol protocol;
        bool operator==(const Location &other) const
        {
            return interface == other.interface && protocol == other.protocol;
        }
    };
    struct Service {
        QList<Location> locations;
        // Known from before the daemon went away, not found again yet.
        bool stale = false;
    };
    // A resolution lasts until its deadline or until every resolver has
    // answered; while the daemon is away it waits for the name to be found
    // again and resolves it then.
    struct Resolution {
        quint64 id = 0;
        QList<AvahiServiceResolver *> resolvers;
        bool anyResolved = false;
    };

    static void browseCallback(AvahiServiceBrowser *browser, AvahiIfIndex interface, AvahiProtocol protocol,
                               AvahiBrowserEvent event, const char *name, const char *type, const char *domain,
                               AvahiLookupResultFlags flags, void *userdata);
    static void resolveCallback(AvahiServiceResolver *resolver, AvahiIfIndex interface, AvahiProtocol protocol,
                                AvahiResolverEvent event, const char *name, const char *type, const char *domain,
                                const char *hostName, const AvahiAddress *address, uint16_t port,
                                AvahiStringList *txt, AvahiLookupResultFlags flags, void *userdata);
    void startBrowser();
    void forgetDaemonObjects();
    void onNew(const QString &name, const Location &location);
    void onRemove(const QString &name, const Location &location);
    void onAllForNow();
    void startResolver(const QString &name, Resolution &resolution, const Location &location);
    void onResolverAnswer(AvahiServiceResolver *resolver, const QByteArray &record);
    void onDeadline(const QString &name, quint64 id);
    void endResolution(const QString &name);

    AvahiConnection m_connection;
    QByteArray m_type;
    QByteArray m_domain;
    bool m_searching = false;
    AvahiServiceBrowser *m_browser = nullptr;
    QMap<QString, Service> m_services;
    QMap<QString, Resolution> m_resolutions;
    quint64 m_lastResolutionId = 0;
};

#include "discovery/AvahiNetServiceBrowser.h"

#include "discovery/SocketAddressRecord.h"

#include <QTimer>

#include <avahi-common/error.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Avahi names types and domains without the final dot.
QByteArray withoutFinalDot(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    while (bytes.endsWith('.'))
        bytes.chop(1);
    return bytes;
}

QByteArray recordOf(const AvahiAddress &address, uint16_t port)
{
    if (address.proto == AVAHI_PROTO_INET) {
        std::array<std::uint8_t, 4> bytes{};
        // Already in network byte order.
        std::memcpy(bytes.data(), &address.data.ipv4.address, bytes.size());
        return SocketAddressRecord::fromIPv4(bytes, port);
    }
    if (address.proto == AVAHI_PROTO_INET6) {
        std::array<std::uint8_t, 16> bytes{};
        std::memcpy(bytes.data(), address.data.ipv6.address, bytes.size());
        return SocketAddressRecord::fromIPv6(bytes, port);
    }
    return {};
}

} // namespace

AvahiNetServiceBrowser::AvahiNetServiceBrowser(QObject *parent) : ServiceBrowser(parent)
{
    connect(&m_connection, &AvahiConnection::running, this, [this] {
        if (m_searching)
            startBrowser();
    });
    connect(&m_connection, &AvahiConnection::lost, this, [this](const QString &reason) {
        forgetDaemonObjects();
        for (Service &service : m_services) {
            service.stale = true;
            service.locations.clear();
        }
        if (m_searching)
            Q_EMIT unavailable(reason);
    });
}

AvahiNetServiceBrowser::~AvahiNetServiceBrowser()
{
    stop();
}

void AvahiNetServiceBrowser::searchForServices(const QString &type, const QString &domain)
{
    stop();
    m_type = withoutFinalDot(type);
    m_domain = withoutFinalDot(domain);
    m_searching = true;
    // An unavailable daemon is reported from inside start(), through lost().
    m_connection.start();
    if (m_connection.isRunning())
        startBrowser();
}

void AvahiNetServiceBrowser::stop()
{
    m_searching = false;
    forgetDaemonObjects();
    m_resolutions.clear();
    m_services.clear();
    m_connection.stop();
}

void AvahiNetServiceBrowser::forgetDaemonObjects()
{
    for (Resolution &resolution : m_resolutions) {
        for (AvahiServiceResolver *resolver : std::as_const(resolution.resolvers))
            avahi_service_resolver_free(resolver);
        resolution.resolvers.clear();
    }
    if (m_browser) {
        avahi_service_browser_free(m_browser);
        m_browser = nullptr;
    }
}

void AvahiNetServiceBrowser::startBrowser()
{
    if (m_browser)
        return;
    AvahiClient *client = m_connection.client();
    if (!client)
        return;
    m_browser = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, m_type.constData(),
                                          m_domain.isEmpty() ? nullptr : m_domain.constData(), AvahiLookupFlags(0),
                                          &AvahiNetServiceBrowser::browseCallback, this);
    if (!m_browser) {
        Q_EMIT unavailable(QStringLiteral("cannot browse for %1: %2")
                               .arg(QString::fromUtf8(m_type), QString::fromUtf8(avahi_strerror(avahi_client_errno(client)))));
    }
}

void AvahiNetServiceBrowser::browseCallback(AvahiServiceBrowser *browser, AvahiIfIndex interface,
                                            AvahiProtocol protocol, AvahiBrowserEvent event, const char *name,
                                            const char *, const char *, AvahiLookupResultFlags, void *userdata)
{
    auto *self = static_cast<AvahiNetServiceBrowser *>(userdata);
    if (browser != self->m_browser)
        return;
    switch (event) {
    case AVAHI_BROWSER_NEW:
        self->onNew(QString::fromUtf8(name), {interface, protocol});
        break;
    case AVAHI_BROWSER_REMOVE:
        self->onRemove(QString::fromUtf8(name), {interface, protocol});
        break;
    case AVAHI_BROWSER_ALL_FOR_NOW:
        self->onAllForNow();
        break;
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
        break;
    case AVAHI_BROWSER_FAILURE: {
        const QString reason = QString::fromUtf8(avahi_strerror(avahi_client_errno(avahi_service_browser_get_client(browser))));
        avahi_service_browser_free(browser);
        self->m_browser = nullptr;
        Q_EMIT self->unavailable(QStringLiteral("browsing failed: %1").arg(reason));
        break;
    }
    }
}

void AvahiNetServiceBrowser::onNew(const QString &name, const Location &location)
{
    auto service = m_services.find(name);
    const bool isNew = service == m_services.end();
    if (isNew)
        service = m_services.insert(name, Service{});
    service->stale = false;
    if (service->locations.contains(location))
        return;
    service->locations.append(location);
    const auto resolution = m_resolutions.find(name);
    if (resolution != m_resolutions.end())
        startResolver(name, *resolution, location);
    if (isNew)
        Q_EMIT serviceFound(name);
}

void AvahiNetServiceBrowser::onRemove(const QString &name, const Location &location)
{
    const auto service = m_services.find(name);
    if (service == m_services.end() || service->stale)
        return;
    service->locations.removeAll(location);
    if (!service->locations.isEmpty())
        return;
    m_services.erase(service);
    endResolution(name);
    Q_EMIT serviceRemoved(name);
}

void AvahiNetServiceBrowser::onAllForNow()
{
    QStringList gone;
    for (auto service = m_services.begin(); service != m_services.end();) {
        if (service->stale) {
            gone.append(service.key());
            endResolution(service.key());
            service = m_services.erase(service);
        } else {
            ++service;
        }
    }
    for (const QString &name : std::as_const(gone))
        Q_EMIT serviceRemoved(name);
    Q_EMIT allForNow();
}

void AvahiNetServiceBrowser::resolve(const QString &name, int timeoutMs)
{
    const auto service = m_services.constFind(name);
    if (service == m_services.constEnd()) {
        QMetaObject::invokeMethod(this, [this, name] { Q_EMIT resolveFailed(name); }, Qt::QueuedConnection);
        return;
    }
    if (m_resolutions.contains(name))
        return; // already under way
    Resolution &resolution = m_resolutions[name];
    resolution.id = ++m_lastResolutionId;
    for (const Location &location : service->locations)
        startResolver(name, resolution, location);
    const quint64 id = resolution.id;
    QTimer::singleShot(timeoutMs, this, [this, name, id] { onDeadline(name, id); });
}

void AvahiNetServiceBrowser::startResolver(const QString &name, Resolution &resolution, const Location &location)
{
    AvahiClient *client = m_connection.client();
    if (!client)
        return;
    AvahiServiceResolver *resolver = avahi_service_resolver_new(
        client, location.interface, location.protocol, name.toUtf8().constData(), m_type.constData(),
        m_domain.isEmpty() ? nullptr : m_domain.constData(), location.protocol, AvahiLookupFlags(0),
        &AvahiNetServiceBrowser::resolveCallback, this);
    // A resolver that cannot be made leaves the others, or the deadline, to answer.
    if (resolver)
        resolution.resolvers.append(resolver);
}

void AvahiNetServiceBrowser::resolveCallback(AvahiServiceResolver *resolver, AvahiIfIndex, AvahiProtocol,
                                             AvahiResolverEvent event, const char *, const char *, const char *,
                                             const char *, const AvahiAddress *address, uint16_t port,
                                             AvahiStringList *, AvahiLookupResultFlags, void *userdata)
{
    auto *self = static_cast<AvahiNetServiceBrowser *>(userdata);
    const QByteArray record = event == AVAHI_RESOLVER_FOUND && address ? recordOf(*address, port) : QByteArray();
    self->onResolverAnswer(resolver, record);
}

void AvahiNetServiceBrowser::onResolverAnswer(AvahiServiceResolver *resolver, const QByteArray &record)
{
    // The books are settled before any signal: a receiver may stop browsing.
    const auto resolution = std::find_if(m_resolutions.begin(), m_resolutions.end(), [resolver](const Resolution &r) {
        return r.resolvers.contains(resolver);
    });
    avahi_service_resolver_free(resolver);
    if (resolution == m_resolutions.end())
        return;
    const QString key = resolution.key();
    resolution->resolvers.removeOne(resolver);
    if (!record.isEmpty())
        resolution->anyResolved = true;
    const bool finished = resolution->resolvers.isEmpty() && m_connection.isRunning();
    const bool failed = finished && !resolution->anyResolved;
    if (finished)
        m_resolutions.erase(resolution);
    if (!record.isEmpty())
        Q_EMIT serviceResolved(key, {record});
    if (failed)
        Q_EMIT resolveFailed(key);
}

void AvahiNetServiceBrowser::onDeadline(const QString &name, quint64 id)
{
    const auto resolution = m_resolutions.find(name);
    if (resolution == m_resolutions.end() || resolution->id != id)
        return;
    const bool failed = !resolution->anyResolved;
    endResolution(name);
    if (failed)
        Q_EMIT resolveFailed(name);
}

void AvahiNetServiceBrowser::endResolution(const QString &name)
{
    const auto resolution = m_resolutions.find(name);
    if (resolution == m_resolutions.end())
        return;
    for (AvahiServiceResolver *resolver : std::as_const(resolution->resolvers))
        avahi_service_resolver_free(resolver);
    m_resolutions.erase(resolution);
}

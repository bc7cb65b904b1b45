#include "app/ServerDiscovery.h"

#include "discovery/ServiceBrowser.h"
#include "discovery/SocketAddressRecord.h"

const QString ServerDiscovery::ServiceType = QStringLiteral("_orvana_ws._tcp.");
const QString ServerDiscovery::ServiceDomain = QStringLiteral("local.");
const QString ServerDiscovery::SelectByAddressEntry = QStringLiteral("Select server using IP Address");

ServerDiscovery::ServerDiscovery(QObject *parent) : QObject(parent) {}

ServerDiscovery::~ServerDiscovery()
{
    stopBrowsing();
}

void ServerDiscovery::startBrowsing(std::unique_ptr<ServiceBrowser> browser)
{
    stopBrowsing();
    if (!browser)
        return;
    m_svcBrowser = std::move(browser);
    m_allForNow = false;
    m_unavailableReason.clear();
    ServiceBrowser *svcBrowser = m_svcBrowser.get();
    connect(svcBrowser, &ServiceBrowser::serviceFound, this, &ServerDiscovery::netServiceBrowserDidFindService);
    connect(svcBrowser, &ServiceBrowser::serviceRemoved, this, &ServerDiscovery::netServiceBrowserDidRemoveService);
    connect(svcBrowser, &ServiceBrowser::serviceResolved, this, &ServerDiscovery::netServiceDidResolveAddress);
    connect(svcBrowser, &ServiceBrowser::resolveFailed, this, &ServerDiscovery::netServiceDidNotResolve);
    connect(svcBrowser, &ServiceBrowser::allForNow, this, [this] {
        m_unavailableReason.clear();
        const bool wasSettled = settled();
        m_allForNow = true;
        if (!wasSettled && settled())
            Q_EMIT discoverySettled();
    });
    connect(svcBrowser, &ServiceBrowser::unavailable, this, [this](const QString &reason) {
        m_unavailableReason = reason;
        Q_EMIT discoveryUnavailable(reason);
    });
    svcBrowser->searchForServices(ServiceType, ServiceDomain);
}

void ServerDiscovery::stopBrowsing()
{
    if (!m_svcBrowser)
        return;
    m_svcBrowser->disconnect(this);
    m_svcBrowser->stop();
    m_svcBrowser.reset();
    m_resolving.clear();
}

QString ServerDiscovery::firstAddress(const QString &name) const
{
    const auto server = m_svcBrowserList.constFind(name);
    if (server == m_svcBrowserList.constEnd() || server->ipAddresses().isEmpty())
        return {};
    return server->ipAddresses().first();
}

QString ServerDiscovery::matchingServerName(const QString &name) const
{
    QString match;
    for (const OVServiceInfo &server : m_svcBrowserList) {
        if (!server.ipAddresses().isEmpty() && server.svcName().compare(name, Qt::CaseInsensitive) == 0)
            match = server.svcName();
    }
    return match;
}

void ServerDiscovery::restoreSelectByIPAddress(bool value)
{
    m_addressChosen = value;
    setSelectByIPAddress(value);
}

void ServerDiscovery::comboBoxSelectionDidChange(int index, const QString &text)
{
    if (index == m_selectedIndex && index >= 0 && index < m_entries.size() && m_entries.at(index) == text)
        return;
    m_selectedIndex = index;
    m_addressChosen = index == 0;
    if (index > 0)
        m_musicServerName = text;
    setSelectByIPAddress(index == 0);
}

void ServerDiscovery::setSelectByIPAddress(bool value)
{
    if (m_selectByIPAddress == value)
        return;
    m_selectByIPAddress = value;
    Q_EMIT selectByIPAddressChanged(value);
}

void ServerDiscovery::netServiceBrowserDidFindService(const QString &name)
{
    // A name already listed is neither resolved again nor listed twice.
    if (m_svcBrowserList.contains(name))
        return;
    m_svcBrowserList.insert(name, OVServiceInfo(name));
    m_resolving.insert(name);
    m_svcBrowser->resolve(name, resolveTimeoutMs);
}

void ServerDiscovery::netServiceBrowserDidRemoveService(const QString &name)
{
    if (!m_svcBrowserList.remove(name))
        return;
    noteResolutionOver(name);
    updateOrvanaMusicServersDiscovered();
}

void ServerDiscovery::netServiceDidResolveAddress(const QString &name, const QList<QByteArray> &addresses)
{
    const auto server = m_svcBrowserList.find(name);
    if (server == m_svcBrowserList.end())
        return;
    for (const QByteArray &record : addresses) {
        QString address;
        std::uint16_t port = 0;
        // IPv6 records and records too short for an address are skipped.
        if (!SocketAddressRecord::readIPv4(record, &address, &port))
            continue;
        // Appended, never replaced: the first address found stays the one used.
        server->ipAddresses().append(address);
        server->ports().append(QString::number(port));
        if (m_trace) {
            std::fprintf(m_trace, "IP Address = %s\n", address.toLatin1().constData());
            std::fprintf(m_trace, "Port Number = %d\n", int(port));
            std::fflush(m_trace);
        }
    }
    updateOrvanaMusicServersDiscovered();
    noteResolutionOver(name);
}

void ServerDiscovery::netServiceDidNotResolve(const QString &name)
{
    // Nothing is reported: the service stays hidden until it is removed.
    noteResolutionOver(name);
}

void ServerDiscovery::noteResolutionOver(const QString &name)
{
    if (!m_resolving.remove(name))
        return;
    if (settled())
        Q_EMIT discoverySettled();
}

void ServerDiscovery::updateOrvanaMusicServersDiscovered()
{
    QStringList entries{SelectByAddressEntry};
    int selection = 0;
    for (const OVServiceInfo &server : std::as_const(m_svcBrowserList)) {
        if (server.ipAddresses().isEmpty())
            continue;
        entries.append(server.svcName());
        // The last match wins.
        if (!m_addressChosen && server.svcName().compare(m_musicServerName, Qt::CaseInsensitive) == 0)
            selection = int(entries.size()) - 1;
    }
    m_entries = entries;
    applySelection(selection);
    Q_EMIT serverEntriesChanged(m_entries, m_selectedIndex);
}

void ServerDiscovery::applySelection(int index)
{
    m_selectedIndex = index;
    // Falling back to entry 0 shows the address field but is not a choice of
    // the address: the stored server is still preselected once it resolves.
    setSelectByIPAddress(index == 0);
}

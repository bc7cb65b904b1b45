#pragma once

#include <QString>
#include <QStringList>

// A music server found on the network: its service name and the IPv4
// addresses (with their ports) it resolved to, in resolution order.
class OVServiceInfo {
public:
    OVServiceInfo() = default;
    explicit OVServiceInfo(QString svcName) : m_svcName(std::move(svcName)) {}

    const QString &svcName() const { return m_svcName; }
    void setSvcName(const QString &value) { m_svcName = value; }
    const QStringList &ipAddresses() const { return m_ipAddresses; }
    QStringList &ipAddresses() { return m_ipAddresses; }
    const QStringList &ports() const { return m_ports; }
    QStringList &ports() { return m_ports; }

private:
    QString m_svcName;
    QStringList m_ipAddresses;
    QStringList m_ports;
};

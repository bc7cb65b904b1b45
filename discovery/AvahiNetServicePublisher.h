#pragma once

#include "discovery/AvahiConnection.h"

#include <QObject>
#include <QString>

#include <avahi-client/publish.h>

// Announces one service through the Avahi daemon on one network interface,
// and announces it again whenever the daemon comes back. A name taken by
// another service is replaced by the daemon's next alternative.
class AvahiNetServicePublisher : public QObject {
    Q_OBJECT

public:
    explicit AvahiNetServicePublisher(QObject *parent = nullptr);
    ~AvahiNetServicePublisher() override;

    // interfaceName: for example "lo"; empty for every interface.
    void publish(const QString &name, const QString &type, quint16 port, const QString &interfaceName);
    void withdraw();

    // The name announced (after any renaming).
    const QString &name() const { return m_name; }

Q_SIGNALS:
    void established(const QString &name);
    void failed(const QString &reason);

private:
    static void groupCallback(AvahiEntryGroup *group, AvahiEntryGroupState state, void *userdata);
    void addService();
    void forgetGroup();

    AvahiConnection m_connection;
    AvahiEntryGroup *m_group = nullptr;
    QString m_name;
    QByteArray m_type;
    quint16 m_port = 0;
    int m_interfaceIndex = -1;
    bool m_publishing = false;
};

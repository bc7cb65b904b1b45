#include "discovery/AvahiNetServicePublisher.h"

#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <net/if.h>

AvahiNetServicePublisher::AvahiNetServicePublisher(QObject *parent) : QObject(parent)
{
    connect(&m_connection, &AvahiConnection::running, this, [this] { addService(); });
    connect(&m_connection, &AvahiConnection::lost, this, [this](const QString &reason) {
        forgetGroup();
        Q_EMIT failed(reason);
    });
}

AvahiNetServicePublisher::~AvahiNetServicePublisher()
{
    withdraw();
}

void AvahiNetServicePublisher::publish(const QString &name, const QString &type, quint16 port,
                                       const QString &interfaceName)
{
    withdraw();
    m_name = name;
    m_type = type.toUtf8();
    while (m_type.endsWith('.'))
        m_type.chop(1);
    m_port = port;
    m_interfaceIndex = AVAHI_IF_UNSPEC;
    if (!interfaceName.isEmpty()) {
        const unsigned index = if_nametoindex(interfaceName.toUtf8().constData());
        if (index == 0) {
            Q_EMIT failed(QStringLiteral("no network interface named %1").arg(interfaceName));
            return;
        }
        m_interfaceIndex = int(index);
    }
    m_publishing = true;
    m_connection.start();
    if (m_connection.isRunning())
        addService();
}

void AvahiNetServicePublisher::withdraw()
{
    m_publishing = false;
    forgetGroup();
    m_connection.stop();
}

void AvahiNetServicePublisher::forgetGroup()
{
    if (m_group) {
        avahi_entry_group_free(m_group);
        m_group = nullptr;
    }
}

void AvahiNetServicePublisher::addService()
{
    AvahiClient *client = m_connection.client();
    if (!m_publishing || !client)
        return;
    if (!m_group)
        m_group = avahi_entry_group_new(client, &AvahiNetServicePublisher::groupCallback, this);
    if (!m_group) {
        Q_EMIT failed(QString::fromUtf8(avahi_strerror(avahi_client_errno(client))));
        return;
    }
    avahi_entry_group_reset(m_group);
    int error = avahi_entry_group_add_service(m_group, AvahiIfIndex(m_interfaceIndex), AVAHI_PROTO_UNSPEC,
                                                    AvahiPublishFlags(0), m_name.toUtf8().constData(),
                                                    m_type.constData(), nullptr, nullptr, m_port, nullptr);
    if (error == AVAHI_ERR_COLLISION) {
        char *alternative = avahi_alternative_service_name(m_name.toUtf8().constData());
        m_name = QString::fromUtf8(alternative);
        avahi_free(alternative);
        addService();
        return;
    }
    if (error < 0 || (error = avahi_entry_group_commit(m_group)) < 0)
        Q_EMIT failed(QString::fromUtf8(avahi_strerror(error)));
}

void AvahiNetServicePublisher::groupCallback(AvahiEntryGroup *group, AvahiEntryGroupState state, void *userdata)
{
    auto *self = static_cast<AvahiNetServicePublisher *>(userdata);
    // The first callback can arrive inside avahi_entry_group_new.
    if (self->m_group && group != self->m_group)
        return;
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        Q_EMIT self->established(self->m_name);
        break;
    case AVAHI_ENTRY_GROUP_COLLISION: {
        char *alternative = avahi_alternative_service_name(self->m_name.toUtf8().constData());
        self->m_name = QString::fromUtf8(alternative);
        avahi_free(alternative);
        // Not from inside the group's own callback.
        QMetaObject::invokeMethod(self, [self] { self->addService(); }, Qt::QueuedConnection);
        break;
    }
    case AVAHI_ENTRY_GROUP_FAILURE:
        Q_EMIT self->failed(
            QString::fromUtf8(avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(group)))));
        break;
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
}

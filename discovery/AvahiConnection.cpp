#include "discovery/AvahiConnection.h"

#include <avahi-common/error.h>

AvahiConnection::AvahiConnection(QObject *parent) : QObject(parent)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { connectClient(); });
}

AvahiConnection::~AvahiConnection()
{
    stop();
}

void AvahiConnection::start()
{
    if (m_started)
        return;
    m_started = true;
    m_reportedLost = false;
    connectClient();
}

void AvahiConnection::stop()
{
    m_started = false;
    m_retry.stop();
    m_running = false;
    dropClient();
    m_unavailableReason.clear();
}

void AvahiConnection::dropClient()
{
    if (m_client) {
        AvahiClient *client = m_client;
        m_client = nullptr;
        avahi_client_free(client);
    }
}

void AvahiConnection::connectClient()
{
    if (!m_started || m_client)
        return;
    int error = 0;
    // With AVAHI_CLIENT_NO_FAIL a missing daemon is not an error: the client
    // waits in the connecting state until the daemon appears. The callback
    // may run before avahi_client_new returns.
    AvahiClient *client =
        avahi_client_new(m_poll.api(), AVAHI_CLIENT_NO_FAIL, &AvahiConnection::clientCallback, this, &error);
    if (!client) {
        becomeUnavailable(QStringLiteral("cannot reach the system bus (%1)").arg(QString::fromUtf8(avahi_strerror(error))));
        m_retry.start();
        return;
    }
    m_client = client;
    onState(client, avahi_client_get_state(client));
}

void AvahiConnection::clientCallback(AvahiClient *client, AvahiClientState state, void *userdata)
{
    auto *self = static_cast<AvahiConnection *>(userdata);
    if (!self->m_client)
        return; // still inside avahi_client_new: connectClient() looks at the state itself
    self->onState(client, state);
}

void AvahiConnection::onState(AvahiClient *client, AvahiClientState state)
{
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        if (!m_running) {
            m_running = true;
            m_reportedLost = false;
            m_unavailableReason.clear();
            Q_EMIT running();
        }
        break;
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION:
        // The daemon is renaming its host; what was made on the client
        // stays, and it comes back to running.
        break;
    case AVAHI_CLIENT_CONNECTING:
        becomeUnavailable(QStringLiteral("the Avahi daemon is not running"));
        break;
    case AVAHI_CLIENT_FAILURE: {
        const int error = avahi_client_errno(client);
        becomeUnavailable(QStringLiteral("the Avahi daemon went away (%1)").arg(QString::fromUtf8(avahi_strerror(error))));
        // Not from inside the client's own callback: free it and make a new
        // one from the event loop.
        QMetaObject::invokeMethod(this, [this] {
            if (m_client && avahi_client_get_state(m_client) == AVAHI_CLIENT_FAILURE) {
                dropClient();
                connectClient();
            }
        }, Qt::QueuedConnection);
        break;
    }
    }
}

void AvahiConnection::becomeUnavailable(const QString &reason)
{
    m_running = false;
    m_unavailableReason = reason;
    if (m_reportedLost)
        return;
    m_reportedLost = true;
    Q_EMIT lost(reason);
}

#pragma once

#include "discovery/QtAvahiPoll.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <avahi-client/client.h>

// One Avahi client on the Qt event loop, kept alive across the daemon's
// absence and restarts: running() when the daemon can be used (create
// browsers, resolvers and entry groups on client() then), lost() when it
// cannot (everything made on the client is gone by then). Without a system
// bus it tries again every few seconds; without the daemon the client itself
// waits for it to appear.
class AvahiConnection : public QObject {
    Q_OBJECT

public:
    static constexpr int retryIntervalMs = 5000;

    explicit AvahiConnection(QObject *parent = nullptr);
    ~AvahiConnection() override;

    void start();
    void stop();
    // The client while running(), else null.
    AvahiClient *client() const { return m_running ? m_client : nullptr; }
    bool isRunning() const { return m_running; }
    // Why the daemon cannot be used; null while running or before start().
    const QString &unavailableReason() const { return m_unavailableReason; }

Q_SIGNALS:
    void running();
    // Sent once per outage, before the client's objects are freed.
    void lost(const QString &reason);

private:
    static void clientCallback(AvahiClient *client, AvahiClientState state, void *userdata);
    void connectClient();
    void onState(AvahiClient *client, AvahiClientState state);
    void becomeUnavailable(const QString &reason);
    void dropClient();

    QtAvahiPoll m_poll;
    AvahiClient *m_client = nullptr;
    bool m_started = false;
    bool m_running = false;
    bool m_reportedLost = false;
    QString m_unavailableReason;
    QTimer m_retry;
};

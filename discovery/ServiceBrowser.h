#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// Browses for the services of one type in one domain and resolves them on
// request. Services are told apart by their instance name: one name is
// reported found once, however many interfaces and protocols carry it, and
// removed when the last of them is gone. Every signal arrives on the thread
// that owns the browser.
class ServiceBrowser : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void searchForServices(const QString &type, const QString &domain) = 0;
    // Forgets every service; no signal follows.
    virtual void stop() = 0;
    // Resolves a found service to its addresses; resolved() may follow more
    // than once (one address record per interface and protocol), or
    // resolveFailed() once when nothing arrived within the time-out.
    virtual void resolve(const QString &name, int timeoutMs) = 0;

Q_SIGNALS:
    void serviceFound(const QString &name);
    void serviceRemoved(const QString &name);
    // Socket-address records (SocketAddressRecord.h).
    void serviceResolved(const QString &name, const QList<QByteArray> &addresses);
    void resolveFailed(const QString &name);
    // Every service known at this moment has been reported.
    void allForNow();
    // Browsing stopped working (no daemon, no bus, or it went away); the
    // browser browses again by itself once it can. Sent once per outage.
    void unavailable(const QString &reason);
};

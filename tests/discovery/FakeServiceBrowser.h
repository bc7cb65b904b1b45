#pragma once

#include "discovery/ServiceBrowser.h"

#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>

// What a FakeServiceBrowser was asked to do; outlives the browser, which
// its user usually owns.
struct FakeBrowserCalls {
    QList<QPair<QString, QString>> searches; // type, domain
    int stops = 0;
    QList<QPair<QString, int>> resolves; // name, time-out in ms
};

// A service browser driven by the test: it reports what the test tells it
// to, at once, and records what it was asked.
class FakeServiceBrowser : public ServiceBrowser {
    Q_OBJECT

public:
    explicit FakeServiceBrowser(FakeBrowserCalls *calls) : m_calls(calls) {}

    void searchForServices(const QString &type, const QString &domain) override { m_calls->searches.append({type, domain}); }
    void stop() override { ++m_calls->stops; }
    void resolve(const QString &name, int timeoutMs) override { m_calls->resolves.append({name, timeoutMs}); }

    void find(const QString &name) { Q_EMIT serviceFound(name); }
    void remove(const QString &name) { Q_EMIT serviceRemoved(name); }
    void resolveTo(const QString &name, const QList<QByteArray> &records) { Q_EMIT serviceResolved(name, records); }
    void failToResolve(const QString &name) { Q_EMIT resolveFailed(name); }
    void reportAllForNow() { Q_EMIT allForNow(); }
    void reportUnavailable(const QString &reason) { Q_EMIT unavailable(reason); }

    // Records of an address given as text ("10.0.0.5", "::1").
    static QByteArray ipv4(const QString &dotted, std::uint16_t port);
    static QByteArray ipv6(const QString &text, std::uint16_t port);

private:
    FakeBrowserCalls *m_calls;
};

#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

// The part of the web-service proxy a sync run uses: one operation, sent
// asynchronously, whose outcome (a result, an error or a fault) reaches
// onAnswer on the sending thread, unless context is gone by then.
class RefreshService {
public:
    using AnswerHandler = std::function<void(const QVariant &)>;

    virtual ~RefreshService() = default;

    virtual void RefreshMediaCollectionByMediaType(QObject *context, AnswerHandler onAnswer, qint32 mediaType) = 0;
    // The textual description of an error or fault delivered to the
    // handler; null for a result (or none).
    virtual QString failureDescription(const QVariant &value) const = 0;
};

// Makes the proxy for a server, and resolves the server's address.
class RefreshServiceFactory {
public:
    virtual ~RefreshServiceFactory() = default;

    // Dotted IPv4 text of the host's first address, or null when it does
    // not resolve.
    virtual QString getIPAddressForHost(const QString &host) = 0;
    // A proxy whose service URL is serviceUrl, logging off.
    virtual std::unique_ptr<RefreshService> createService(const QString &serviceUrl) = 0;
};

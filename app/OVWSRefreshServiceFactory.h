#pragma once

#include "app/RefreshService.h"

// Resolves with the system's IPv4 lookup and makes real proxies.
class OVWSRefreshServiceFactory : public RefreshServiceFactory {
public:
    QString getIPAddressForHost(const QString &host) override;
    std::unique_ptr<RefreshService> createService(const QString &serviceUrl) override;
};

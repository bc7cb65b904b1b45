#include "app/OVWSRefreshServiceFactory.h"

#include "app/OVWSRefreshService.h"
#include "soap/SoapReachability.h"

QString OVWSRefreshServiceFactory::getIPAddressForHost(const QString &host)
{
    return SoapReachability::getIPAddressForHost(host);
}

std::unique_ptr<RefreshService> OVWSRefreshServiceFactory::createService(const QString &serviceUrl)
{
    return std::make_unique<OVWSRefreshService>(serviceUrl);
}

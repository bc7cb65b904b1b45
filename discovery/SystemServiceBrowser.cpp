#include "discovery/SystemServiceBrowser.h"

#include "discovery/AvahiNetServiceBrowser.h"

std::unique_ptr<ServiceBrowser> makeSystemServiceBrowser()
{
    return std::make_unique<AvahiNetServiceBrowser>();
}

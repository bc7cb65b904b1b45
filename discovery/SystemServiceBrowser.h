#pragma once

#include "discovery/ServiceBrowser.h"

#include <memory>

// The browser the programs use: the Avahi daemon's, over the system bus.
std::unique_ptr<ServiceBrowser> makeSystemServiceBrowser();

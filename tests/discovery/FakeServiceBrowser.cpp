#include "tests/discovery/FakeServiceBrowser.h"

#include "discovery/SocketAddressRecord.h"

#include <arpa/inet.h>

#include <array>

QByteArray FakeServiceBrowser::ipv4(const QString &dotted, std::uint16_t port)
{
    std::array<std::uint8_t, 4> address{};
    inet_pton(AF_INET, dotted.toLatin1().constData(), address.data());
    return SocketAddressRecord::fromIPv4(address, port);
}

QByteArray FakeServiceBrowser::ipv6(const QString &text, std::uint16_t port)
{
    std::array<std::uint8_t, 16> address{};
    inet_pton(AF_INET6, text.toLatin1().constData(), address.data());
    return SocketAddressRecord::fromIPv6(address, port);
}

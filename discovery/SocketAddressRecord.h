#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// The socket-address records a resolved service hands on, in the layout
// the discovery rules read: byte 0 the record's length, byte 1 the address
// family (2 for IPv4), bytes 2-3 the port in network byte order, then the
// address (bytes 4-7 for IPv4, 8-23 for IPv6 after a 4-byte flow label).
namespace SocketAddressRecord {

constexpr std::uint8_t familyIPv4 = 2;
constexpr std::uint8_t familyIPv6 = 10;
constexpr int ipv4RecordLength = 16;
constexpr int ipv6RecordLength = 28;

QByteArray fromIPv4(const std::array<std::uint8_t, 4> &address, std::uint16_t port);
QByteArray fromIPv6(const std::array<std::uint8_t, 16> &address, std::uint16_t port);

// Reads an IPv4 record: the dotted decimal address and the port in host
// order. Answers false for any other family and for a record too short to
// hold an IPv4 address.
bool readIPv4(const QByteArray &record, QString *address, std::uint16_t *port);

} // namespace SocketAddressRecord

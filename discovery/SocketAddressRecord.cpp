#include "discovery/SocketAddressRecord.h"

namespace SocketAddressRecord {

namespace {

QByteArray header(int length, std::uint8_t family, std::uint16_t port)
{
    QByteArray record(length, '\0');
    record[0] = char(length);
    record[1] = char(family);
    record[2] = char(port >> 8);
    record[3] = char(port & 0xff);
    return record;
}

} // namespace

QByteArray fromIPv4(const std::array<std::uint8_t, 4> &address, std::uint16_t port)
{
    QByteArray record = header(ipv4RecordLength, familyIPv4, port);
    for (int i = 0; i < 4; ++i)
        record[4 + i] = char(address[size_t(i)]);
    return record;
}

QByteArray fromIPv6(const std::array<std::uint8_t, 16> &address, std::uint16_t port)
{
    QByteArray record = header(ipv6RecordLength, familyIPv6, port);
    for (int i = 0; i < 16; ++i)
        record[8 + i] = char(address[size_t(i)]);
    return record;
}

bool readIPv4(const QByteArray &record, QString *address, std::uint16_t *port)
{
    if (record.size() < 8 || std::uint8_t(record[1]) != familyIPv4)
        return false;
    const auto byte = [&record](int index) { return unsigned(std::uint8_t(record[index])); };
    *port = std::uint16_t((byte(2) << 8) | byte(3));
    *address = QStringLiteral("%1.%2.%3.%4").arg(byte(4)).arg(byte(5)).arg(byte(6)).arg(byte(7));
    return true;
}

} // namespace SocketAddressRecord

#include "discovery/SocketAddressRecord.h"

#include <gtest/gtest.h>

namespace {

TEST(SocketAddressRecordTest, AnIPv4RecordReadsBackAsDottedTextAndHostOrderPort)
{
    const QByteArray record = SocketAddressRecord::fromIPv4({10, 0, 0, 250}, 8731);
    ASSERT_EQ(record.size(), SocketAddressRecord::ipv4RecordLength);
    EXPECT_EQ(std::uint8_t(record[0]), 16);
    EXPECT_EQ(std::uint8_t(record[1]), 2);
    // The port in network byte order: 8731 = 0x221B.
    EXPECT_EQ(std::uint8_t(record[2]), 0x22);
    EXPECT_EQ(std::uint8_t(record[3]), 0x1B);

    QString address;
    std::uint16_t port = 0;
    ASSERT_TRUE(SocketAddressRecord::readIPv4(record, &address, &port));
    EXPECT_EQ(address, QStringLiteral("10.0.0.250"));
    EXPECT_EQ(port, 8731);

    ASSERT_TRUE(SocketAddressRecord::readIPv4(SocketAddressRecord::fromIPv4({255, 255, 255, 255}, 65535), &address, &port));
    EXPECT_EQ(address, QStringLiteral("255.255.255.255"));
    EXPECT_EQ(port, 65535);
}

TEST(SocketAddressRecordTest, IPv6AndTruncatedRecordsAreNotReadAsIPv4)
{
    QString address = QStringLiteral("untouched");
    std::uint16_t port = 1;
    std::array<std::uint8_t, 16> loopback{};
    loopback[15] = 1;
    const QByteArray ipv6 = SocketAddressRecord::fromIPv6(loopback, 8731);
    EXPECT_EQ(ipv6.size(), SocketAddressRecord::ipv6RecordLength);
    EXPECT_EQ(std::uint8_t(ipv6[1]), SocketAddressRecord::familyIPv6);
    EXPECT_FALSE(SocketAddressRecord::readIPv4(ipv6, &address, &port));

    // A record that claims IPv4 but ends before the address bytes.
    const QByteArray truncated = SocketAddressRecord::fromIPv4({10, 0, 0, 5}, 80).left(7);
    EXPECT_FALSE(SocketAddressRecord::readIPv4(truncated, &address, &port));
    EXPECT_FALSE(SocketAddressRecord::readIPv4(QByteArray(), &address, &port));
    EXPECT_EQ(address, QStringLiteral("untouched"));
    EXPECT_EQ(port, 1);
}

} // namespace

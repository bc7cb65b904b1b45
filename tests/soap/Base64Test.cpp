#include "soap/Base64.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64Encoding, ThreeTwoAndOneByteGroups)
{
    EXPECT_EQ(Base64::base64Encoding("abc"), u"YWJj");
    EXPECT_EQ(Base64::base64Encoding("ab"), u"YWI=");
    EXPECT_EQ(Base64::base64Encoding("a"), u"YQ==");
    EXPECT_EQ(Base64::base64Encoding(QByteArray()), u"");
    EXPECT_FALSE(Base64::base64Encoding(QByteArray()).isNull());
}

TEST(Base64Encoding, AllByteValuesRoundTrip)
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));
    const QString text = Base64::base64Encoding(bytes);
    EXPECT_EQ(text, QString::fromLatin1(bytes.toBase64()));
    EXPECT_EQ(Base64::dataWithBase64EncodedString(text), bytes);
}

TEST(Base64Encoding, LineBreaksAfterTheLineLengthIsReached)
{
    const QByteArray bytes(57, 'x');
    const QString wrapped = Base64::base64EncodingWithLineLength(bytes, 76);
    EXPECT_EQ(wrapped.size(), 77);
    EXPECT_TRUE(wrapped.endsWith(u'\n'));
    EXPECT_EQ(wrapped.count(u'\n'), 1);
    EXPECT_FALSE(Base64::base64EncodingWithLineLength(bytes, 0).contains(u'\n'));

    EXPECT_EQ(Base64::base64EncodingWithLineLength("abcabcab", 1), u"YWJj\nYWJj\nYWI=\n");
    // Lines hold the smallest multiple of four that reaches the length.
    EXPECT_EQ(Base64::base64EncodingWithLineLength("abcabcabc", 5), u"YWJjYWJj\nYWJj");
}

TEST(Base64Encoding, SixteenBitCounterNeverBreaksAboveItsRange)
{
    const QByteArray bytes(3 * 16384 + 3, 'q'); // 65540 characters
    EXPECT_EQ(Base64::base64EncodingWithLineLength(bytes, 65532).count(u'\n'), 1);
    EXPECT_EQ(Base64::base64EncodingWithLineLength(bytes, 65533).count(u'\n'), 0);
    EXPECT_EQ(Base64::base64EncodingWithLineLength(bytes, 100000).count(u'\n'), 0);
}

TEST(Base64Decoding, SkipsForeignBytesAndStopsAtPadding)
{
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("YW Jj")), "abc");
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("YW\r\nJj")), "abc");
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("YWI=garbage")), "ab");
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("YQ==YWJj")), "a");
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("=YWJj")), "");
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("!!Y-W*J.j??")), "abc");
}

TEST(Base64Decoding, UnpaddedTailIsDropped)
{
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("YWI")), "");
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("YWJjYWI")), "abc");
    EXPECT_EQ(Base64::initWithBase64EncodedString(QStringLiteral("YWJjY")), "abc");
}

TEST(Base64Decoding, NonAsciiOrNullTextGivesEmptyData)
{
    EXPECT_TRUE(Base64::initWithBase64EncodedString(QStringLiteral("YWJj\u00e9")).isEmpty());
    EXPECT_TRUE(Base64::initWithBase64EncodedString(QString()).isEmpty());
    EXPECT_TRUE(Base64::initWithString(QStringLiteral("\u4e2dYWJj")).isEmpty());
    const char raw[] = {'Y', 'W', 'J', 'j', static_cast<char>(0xc3)};
    EXPECT_TRUE(Base64::decodeBytes(raw, sizeof raw).isEmpty());
}

TEST(Base64Decoding, SingleValueBeforePaddingGivesOneByte)
{
    // Malformed input: the gathered value fills the byte's upper six bits.
    const QByteArray decoded = Base64::initWithBase64EncodedString(QStringLiteral("YWJjZ="));
    ASSERT_EQ(decoded.size(), 4);
    EXPECT_EQ(decoded.left(3), "abc");
    EXPECT_EQ(static_cast<unsigned char>(decoded.at(3)) >> 2, 25u); // 'Z'
}

} // namespace

#include "platform/ErrorRecord.h"
#include "platform/ProgrammingError.h"

#include <gtest/gtest.h>

TEST(ErrorRecord, DescriptionComesFromTheDetailOrNamesDomainAndCode)
{
    const ErrorRecord described = ErrorRecord::withDescription(QStringLiteral("CXMLErrorDomain"), 1, QStringLiteral("boom"));
    EXPECT_EQ(described.localizedDescription(), QStringLiteral("boom"));
    EXPECT_EQ(described.detail(ErrorRecord::LocalizedDescriptionKey).toString(), QStringLiteral("boom"));

    ErrorRecord bare(QStringLiteral("com.Orvana.FileIO"), 28);
    EXPECT_TRUE(bare.localizedDescription().contains(QStringLiteral("com.Orvana.FileIO error 28")));
    EXPECT_FALSE(bare.detail(QStringLiteral("missing")).isValid());
}

TEST(ErrorRecord, DetailsKeepTheirOrderAndTakePartInEquality)
{
    ErrorRecord a(QStringLiteral("d"), 2);
    a.addDetail(QStringLiteral("z"), 1);
    a.addDetail(QStringLiteral("a"), 2);
    ASSERT_EQ(a.details().size(), 2);
    EXPECT_EQ(a.details().at(0).first, QStringLiteral("z"));
    ErrorRecord b(QStringLiteral("d"), 2, {{QStringLiteral("a"), 2}, {QStringLiteral("z"), 1}});
    EXPECT_FALSE(a == b);
    EXPECT_TRUE(ErrorRecord().isNull());
}

TEST(ProgrammingError, CarriesWhereItWasRaised)
{
    try {
        ORVANA_PROGRAMMING_ERROR(QStringLiteral("TODO"), QStringLiteral("<node>"), "CXMLNode");
        FAIL();
    } catch (const ProgrammingError &error) {
        EXPECT_EQ(error.message(), QStringLiteral("TODO"));
        EXPECT_EQ(error.unit(), QStringLiteral("CXMLNode"));
        EXPECT_EQ(error.object(), QStringLiteral("<node>"));
        EXPECT_GT(error.line(), 0);
        EXPECT_FALSE(error.operation().isEmpty());
    }
}

#include "service/OVWSContract.h"
#include "tests/support/TestFiles.h"

#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Kind = OVWSContract::Kind;
using ResultKind = OVWSContract::ResultKind;

QStringList parameterNames(const OVWSContract::Operation &operation)
{
    QStringList names;
    for (const OVWSContract::Member &parameter : operation.parameters)
        names.append(QLatin1String(parameter.name));
    return names;
}

TEST(ContractTable, HoldsEveryOperationRecordAndListOnce)
{
    EXPECT_EQ(OVWSContract::operations().size(), 123u);
    EXPECT_EQ(OVWSContract::records().size(), 24u);
    EXPECT_EQ(OVWSContract::lists().size(), 15u);
    QSet<QString> names;
    for (const auto &operation : OVWSContract::operations())
        names.insert(QLatin1String(operation.name));
    EXPECT_EQ(names.size(), 123);
}

TEST(ContractTable, ParameterKindsAndResultsAddUp)
{
    int booleans = 0, objects = 0, none = 0, tokens = 0;
    for (const auto &operation : OVWSContract::operations()) {
        for (const auto &parameter : operation.parameters) {
            booleans += parameter.kind == Kind::Bool;
            objects += parameter.kind == Kind::String || parameter.kind == Kind::Record;
        }
        none += operation.resultKind == ResultKind::None;
        tokens += operation.resultKind == ResultKind::Token;
    }
    EXPECT_EQ(booleans, 26);
    EXPECT_EQ(objects, 42);
    EXPECT_EQ(none, 66);
    EXPECT_EQ(tokens, 6);
}

TEST(ContractTable, KeepsWireOrderAndResultsOfKnownRows)
{
    const auto *artwork = OVWSContract::operation(u"GetArtwork2");
    ASSERT_TRUE(artwork);
    EXPECT_EQ(parameterNames(*artwork),
              (QStringList{u"ID"_s, u"ImageTransform"_s, u"Width"_s, u"Height"_s, u"ReflectionPercent"_s, u"BackgroundColor"_s,
                           u"MinWidthBeforeScaling"_s, u"MinHeightBeforeScaling"_s}));
    EXPECT_EQ(artwork->parameters[0].kind, Kind::String);
    EXPECT_EQ(artwork->resultKind, ResultKind::Record);
    EXPECT_STREQ(artwork->result, "Artwork");

    const auto *search = OVWSContract::operation(u"SearchMediaCollectionByZone");
    ASSERT_TRUE(search);
    EXPECT_EQ(parameterNames(*search),
              (QStringList{u"ZoneID"_s, u"OnlySearchCurrentMusicService"_s, u"StartIndex"_s, u"MaxItems"_s, u"SearchText"_s}));
    EXPECT_EQ(search->parameters[1].kind, Kind::Bool);

    const auto *bytes = OVWSContract::operation(u"GetImageAsBytes");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->resultKind, ResultKind::Token);
    EXPECT_STREQ(bytes->result, "NSData");

    const auto *playlists = OVWSContract::operation(u"GetOrvanaPlaylists");
    ASSERT_TRUE(playlists);
    EXPECT_TRUE(playlists->parameters.empty());
    EXPECT_EQ(playlists->resultKind, ResultKind::List);

    const auto *save = OVWSContract::operation(u"SaveQueueAsPlaylist");
    ASSERT_TRUE(save);
    EXPECT_EQ(save->parameters[1].kind, Kind::Record);
    EXPECT_STREQ(save->parameters[1].typeName, "OVPlaylistInfo");
    EXPECT_FALSE(OVWSContract::operation(u"NoSuchOperation"));
}

TEST(ContractTable, EveryNamedTypeExists)
{
    for (const auto &operation : OVWSContract::operations()) {
        if (operation.resultKind == ResultKind::Record) {
            EXPECT_TRUE(OVWSContract::record(QLatin1String(operation.result))) << operation.name;
        }
        if (operation.resultKind == ResultKind::List) {
            EXPECT_TRUE(OVWSContract::list(QLatin1String(operation.result))) << operation.name;
        }
    }
    for (const auto &record : OVWSContract::records()) {
        for (const auto &field : record.fields) {
            if (field.kind == Kind::Record) {
                EXPECT_TRUE(OVWSContract::record(QLatin1String(field.typeName))) << field.name;
            }
            if (field.kind == Kind::List) {
                EXPECT_TRUE(OVWSContract::list(QLatin1String(field.typeName))) << field.name;
            }
        }
    }
    for (const auto &list : OVWSContract::lists()) {
        if (list.itemElement) {
            EXPECT_TRUE(OVWSContract::record(QLatin1String(list.itemType))) << list.name;
        } else {
            EXPECT_STREQ(list.itemType, "string");
        }
    }
}

TEST(ContractTable, ApplicationInfoEndsWithIPodDevicesDocked)
{
    const auto *info = OVWSContract::record(u"ApplicationInfo");
    ASSERT_TRUE(info);
    ASSERT_EQ(info->fields.size(), 11u);
    EXPECT_STREQ(info->fields[9].name, "WolMacAddress");
    EXPECT_STREQ(info->fields[10].name, "iPodDevicesDocked");
    EXPECT_EQ(OVWSContract::record(u"ZoneInfo")->fields.size(), 33u);
}

TEST(ContractTable, SoapActionIsNamespaceContractPathAndOperation)
{
    const QString ns = OVWSContract::serviceNamespace();
    EXPECT_TRUE(ns.startsWith(u"http://"));
    EXPECT_TRUE(ns.endsWith(u"/WebService/2009/07"));
    EXPECT_EQ(OVWSContract::soapAction(u"RefreshMediaCollectionByMediaType"),
              ns + QStringLiteral("/ISystemSvc/RefreshMediaCollectionByMediaType"));
    EXPECT_EQ(OVWSContract::endpointPath(), QStringLiteral("/Orvana/WebServices/2009/07/"));
    EXPECT_EQ(OVWSContract::port(), 8731);
}

// The generator refuses a table that lost a row, so a careless edit cannot
// silently drop an operation from the proxy.
TEST(ContractGenerator, RefusesATableWithAMissingOperation)
{
    QByteArray table = testsupport::readFile(testsupport::sourcePath(QStringLiteral("service/contract/OrvanaContract.txt")));
    ASSERT_FALSE(table.isEmpty());
    const qsizetype row = table.indexOf("operation SetZonePartyMode");
    ASSERT_GE(row, 0);
    table.remove(row, table.indexOf('\n', row) - row + 1);
    QTemporaryDir folder;
    const QString broken = folder.filePath(QStringLiteral("broken.txt"));
    testsupport::writeFile(broken, table);

    QProcess generator;
    generator.start(QStringLiteral("python3"),
                    {testsupport::sourcePath(QStringLiteral("service/contract/generate.py")), broken, folder.path()});
    ASSERT_TRUE(generator.waitForFinished(30000));
    EXPECT_EQ(generator.exitCode(), 1);
    EXPECT_TRUE(generator.readAllStandardError().contains("expected 123 operations"));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("service/OVWSService.h"))));
}

} // namespace

#include "service/OVWSArrayOfMediaItem.h"
#include "service/OVWSArrayOfZoneInfo.h"
#include "service/OVWSArrayOfstring.h"
#include "service/OVWSImageCacheInfo.h"
#include "service/OVWSMediaItem.h"
#include "service/OVWSNowPlayingQueue.h"
#include "service/OVWSZoneInfo.h"
#include "soap/SoapParameter.h"
#include "tests/service/RecordSamples.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using recordsamples::parseElement;

namespace {

TEST(Lists, DecodeOneItemPerChildNodeWhiteSpaceIncluded)
{
    const auto queue = OVWSNowPlayingQueue::createWithNode(parseElement(
        u"<NowPlayingQueue><MediaItems>\n  <MediaItem><Name>One</Name></MediaItem>\n  "
        u"<MediaItem><Name>Two</Name></MediaItem>\n</MediaItems><QueueCount>2</QueueCount></NowPlayingQueue>"_s));
    ASSERT_TRUE(queue);
    const auto &items = queue->MediaItems();
    ASSERT_EQ(items.size(), 5);
    EXPECT_EQ(items[1]->Name(), u"One");
    EXPECT_EQ(items[3]->Name(), u"Two");
    for (int blank : {0, 2, 4}) {
        EXPECT_TRUE(items[blank]->Name().isNull());
        EXPECT_EQ(items[blank]->Type(), 0);
        EXPECT_TRUE(items[blank]->Attributes().isEmpty());
    }
    EXPECT_EQ(queue->QueueCount(), 2);
}

TEST(Lists, ListTypeDecodesAResultAndWritesItsItemsWithoutWrapper)
{
    const auto zones = OVWSArrayOfZoneInfo::createWithNode(parseElement(
        u"<GetAllZonesInfoResult><ZoneInfo><Name>Kitchen</Name><ZoneID>1</ZoneID></ZoneInfo>"
        u"<ZoneInfo><Name>Hall</Name><ZoneID>2</ZoneID></ZoneInfo></GetAllZonesInfoResult>"_s));
    ASSERT_TRUE(zones);
    EXPECT_EQ(zones->className(), u"OVWSArrayOfZoneInfo");
    const QList<OVWSZoneInfoPtr> items = zones->typedItems();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(zones->count(), 2);
    EXPECT_EQ(items[1]->Name(), u"Hall");
    EXPECT_EQ(items[1]->ZoneID(), 2);
    const QString text = OVWSArrayOfZoneInfo::serializeList(items);
    EXPECT_TRUE(text.startsWith(u"<ZoneInfo><Balance>0</Balance>"));
    EXPECT_EQ(text.count(u"<ZoneInfo>"), 2);
    EXPECT_TRUE(text.contains(u"<WakeupEventSchedule/>"));
}

TEST(Lists, CreateWithNodeOfNothingGivesAnEmptyList)
{
    const auto list = OVWSArrayOfMediaItem::createWithNode(nullptr);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(OVWSArrayOfMediaItem::serializeList({}).isEmpty());
}

TEST(Lists, StringsTakeEachChildsTextAndWriteThemEscapedWithoutElements)
{
    const auto strings = OVWSArrayOfstring::createWithNode(
        parseElement(u"<ImageIDList><string>a</string><string>b&amp;\"c\"</string></ImageIDList>"_s));
    ASSERT_TRUE(strings);
    EXPECT_EQ(strings->typedItems(), (QStringList{u"a"_s, u"b&\"c\""_s}));
    EXPECT_EQ(OVWSArrayOfstring::serializeList(strings->typedItems()), u"ab&amp;&quot;c&quot;");

    OVWSImageCacheInfo info;
    info.setImageIDList({u"x<y"_s});
    info.setTotalItems(1);
    EXPECT_EQ(info.serialize(),
              u"<ImageCacheInfo><ImageIDList>x&lt;y</ImageIDList><TotalItems>1</TotalItems></ImageCacheInfo>");
    info.setImageIDList({});
    EXPECT_TRUE(info.serialize().contains(u"<ImageIDList/>"));
}

TEST(Lists, AsAParameterAListWritesNothing)
{
    auto list = OVWSArrayOfMediaItemPtr::create();
    list->addObject(SoapObject::box(OVWSMediaItemPtr::create()));
    EXPECT_EQ(SoapParameter(SoapObject::box(list), u"Items"_s).xml(), u"");
}

} // namespace

#include "service/OVWSApplicationInfo.h"
#include "service/OVWSArtwork.h"
#include "service/OVWSMediaItem.h"
#include "service/OVWSMediaItem2.h"
#include "service/OVWSNowPlayingQueue.h"
#include "service/OVWSOVPlaylistInfo.h"
#include "service/OVWSSettingsRange.h"
#include "service/OVWSSystemInfo.h"
#include "service/OVWSTimeSetting.h"
#include "service/OVWSTypeRegistration.h"
#include "service/OVWSWakeupScheduleItem.h"
#include "service/OVWSZoneGroupItem.h"
#include "soap/SoapTypeRegistry.h"
#include "tests/service/RecordSamples.h"

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;
using recordsamples::parseElement;

namespace {

class Records : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { OVWSTypeRegistration::registerAll(); }

    static SoapObjectPtr decode(const QString &className, const QString &xml)
    {
        const auto createWithNode = SoapTypeRegistry::findCreateWithNode(className);
        EXPECT_TRUE(createWithNode) << className.toStdString();
        const CXMLElementPtr element = parseElement(xml);
        EXPECT_TRUE(element) << xml.toStdString();
        return createWithNode && element ? createWithNode(element) : SoapObjectPtr();
    }
};

// Every record type decodes a text with all its fields set and writes the
// same text back; decoded again it is equal and hashes equally.
TEST_F(Records, EveryTypeRoundTripsWithAllFieldsSet)
{
    for (const OVWSContract::Record &record : OVWSContract::records()) {
        const QString className = u"OVWS"_s + QLatin1String(record.elementName);
        SCOPED_TRACE(className.toStdString());
        const QString text = recordsamples::recordWithAllFields(record);
        const SoapObjectPtr first = decode(className, text);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->className(), className);
        EXPECT_EQ(first->serialize().toStdString(), text.toStdString());
        const SoapObjectPtr second = decode(className, first->serialize());
        ASSERT_TRUE(second);
        EXPECT_TRUE(first->isEqual(SoapObject::box(second)));
        EXPECT_TRUE(second->isEqual(SoapObject::box(first)));
        EXPECT_EQ(first->hash(), second->hash());
        EXPECT_EQ(first->serialize(u"Renamed"_s).left(9), u"<Renamed>");
    }
}

TEST_F(Records, WritesTheQueueOfTheExampleExactly)
{
    OVWSNowPlayingQueue queue;
    queue.setQueueCount(3);
    queue.setQueueSongIndex(1);
    queue.setStartIndex(0);
    EXPECT_EQ(queue.serialize(), u"<NowPlayingQueue><MediaItems/><QueueCount>3</QueueCount><QueueSongIndex>1"
                                 u"</QueueSongIndex><StartIndex>0</StartIndex></NowPlayingQueue>"_s);
}

TEST_F(Records, BuiltByAccessorsRoundTrips)
{
    auto start = OVWSTimeSettingPtr::create();
    start->setHour(7);
    start->setMinute(30);
    OVWSWakeupScheduleItem item;
    item.setDaysOfTheWeek(62);
    item.setEnabled(true);
    item.setName(u"Weekdays & more"_s);
    item.setStartTime(start);
    item.setStartVolume(-5);
    const QString text = item.serialize();
    EXPECT_TRUE(text.contains(u"<StartTime><Hour>7</Hour><Minute>30</Minute></StartTime>"));
    EXPECT_FALSE(text.contains(u"<EndTime>")) << "an absent nested record writes nothing";
    EXPECT_FALSE(text.contains(u"PlaylistID")) << "an absent string writes nothing";
    EXPECT_TRUE(text.contains(u"<EnabledEndTime>false</EnabledEndTime>"));

    const auto decoded = OVWSWakeupScheduleItem::createWithNode(parseElement(text));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Name(), u"Weekdays & more");
    ASSERT_TRUE(decoded->StartTime());
    EXPECT_EQ(decoded->StartTime()->Minute(), 30);
    EXPECT_FALSE(decoded->EndTime());
    EXPECT_TRUE(decoded->PlaylistID().isNull());
    EXPECT_EQ(decoded->StartVolume(), -5);
    EXPECT_TRUE(item.isEqual(SoapObject::box(decoded)));
}

TEST_F(Records, MissingFieldsDecodeToTheirInitialValues)
{
    const auto item = OVWSMediaItem::createWithNode(parseElement(u"<MediaItem><Name>Only</Name></MediaItem>"_s));
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->ArtworkID().isNull());
    EXPECT_TRUE(item->MediaID().isNull());
    EXPECT_TRUE(item->Attributes().isEmpty());
    EXPECT_EQ(item->Type(), 0);
    // The missing list comes back as an empty-element tag under its field name.
    EXPECT_EQ(item->serialize(), u"<MediaItem><Attributes/><Name>Only</Name><Type>0</Type></MediaItem>");

    const auto info = OVWSOVPlaylistInfo::createWithNode(parseElement(u"<OVPlaylistInfo/>"_s));
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->Dynamic());
    const auto artwork = OVWSArtwork::createWithNode(parseElement(u"<Artwork><Width>4</Width></Artwork>"_s));
    ASSERT_TRUE(artwork);
    EXPECT_FALSE(artwork->Data().has_value());
    EXPECT_EQ(artwork->serialize(), u"<Artwork><Height>0</Height><Type>0</Type><Width>4</Width></Artwork>");
    EXPECT_FALSE(OVWSMediaItem::createWithNode(nullptr));
}

TEST_F(Records, ReadsNumbersAndBooleansLeniently)
{
    const auto read = [](const QString &adjustment, const QString &lock) {
        return OVWSZoneGroupItem::createWithNode(parseElement(
            u"<ZoneGroupItem><KeypadLock>%1</KeypadLock><VolumeAdjustment>%2</VolumeAdjustment></ZoneGroupItem>"_s.arg(
                lock, adjustment)));
    };
    EXPECT_EQ(read(u" -42abc"_s, u"Yes"_s)->VolumeAdjustment(), -42);
    EXPECT_TRUE(read(u"0"_s, u"Yes"_s)->KeypadLock());
    EXPECT_TRUE(read(u"0"_s, u" +007"_s)->KeypadLock());
    EXPECT_TRUE(read(u"0"_s, u"true"_s)->KeypadLock());
    EXPECT_FALSE(read(u"0"_s, u"false"_s)->KeypadLock());
    EXPECT_FALSE(read(u"0"_s, u"000"_s)->KeypadLock());
    EXPECT_EQ(read(u"+17"_s, u""_s)->VolumeAdjustment(), 17);
    EXPECT_EQ(read(u"volume"_s, u""_s)->VolumeAdjustment(), 0);
    EXPECT_EQ(read(u"99999999999"_s, u""_s)->VolumeAdjustment(), std::numeric_limits<qint32>::max());
    EXPECT_EQ(read(u"-99999999999"_s, u""_s)->VolumeAdjustment(), std::numeric_limits<qint32>::min());
}

TEST_F(Records, TakesAScalarFromAnAttributeOfTheSameName)
{
    const auto time = OVWSTimeSetting::createWithNode(parseElement(u"<TimeSetting Hour=\"7\"><Minute>5</Minute></TimeSetting>"_s));
    ASSERT_TRUE(time);
    EXPECT_EQ(time->Hour(), 7);
    EXPECT_EQ(time->Minute(), 5);
}

TEST_F(Records, PrefersADirectChildOverADeeperNamesake)
{
    const auto item = OVWSMediaItem2::createWithNode(parseElement(
        u"<MediaItem2><MediaItems><MediaItem2><Name>inner</Name></MediaItem2></MediaItems><Name>outer</Name></MediaItem2>"_s));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->Name(), u"outer");
    ASSERT_EQ(item->MediaItems().size(), 1);
    EXPECT_EQ(item->MediaItems()[0]->Name(), u"inner");
}

TEST_F(Records, EscapesStringFieldsOnce)
{
    OVWSMediaItem item;
    item.setName(u"&\""_s);
    EXPECT_TRUE(item.serialize().contains(u"<Name>&amp;&quot;</Name>"));
    item.setName(u"a<b>c&amp;"_s);
    EXPECT_TRUE(item.serialize().contains(u"<Name>a&lt;b&gt;c&amp;amp;</Name>"));
    const auto decoded = OVWSMediaItem::createWithNode(parseElement(item.serialize()));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Name(), u"a<b>c&amp;");
}

TEST_F(Records, WritesByteDataAsBase64)
{
    OVWSArtwork artwork;
    artwork.setData(QByteArray("\x00\xff jpeg", 7));
    EXPECT_TRUE(artwork.serialize().contains(u"<Data>AP8ganBlZw==</Data>"));
    const auto decoded = OVWSArtwork::createWithNode(parseElement(artwork.serialize()));
    ASSERT_TRUE(decoded && decoded->Data());
    EXPECT_EQ(*decoded->Data(), QByteArray("\x00\xff jpeg", 7));
}

TEST_F(Records, SystemInfoWithoutEqSettingsWritesNoSuchElement)
{
    OVWSSystemInfo info;
    info.setVolumeSettings(OVWSSettingsRangePtr::create());
    const QString text = info.serialize();
    EXPECT_FALSE(text.contains(u"EQSettings"));
    EXPECT_TRUE(text.contains(u"<VolumeSettings><Increment>0</Increment><Maximum>0</Maximum><Minimum>0</Minimum></VolumeSettings>"));
    EXPECT_TRUE(text.contains(u"<ControllerFeatures>0</ControllerFeatures>"));
    EXPECT_TRUE(text.contains(u"<ZonesCustomOrdered>false</ZonesCustomOrdered>"));
    EXPECT_FALSE(text.contains(u"VendorName"));
}

TEST_F(Records, EqualityNeedsTheSameTypeAndText)
{
    OVWSMediaItem first;
    first.setName(u"Song"_s);
    auto same = OVWSMediaItemPtr::create();
    same->setName(u"Song"_s);
    auto other = OVWSMediaItemPtr::create();
    other->setName(u"Other"_s);
    EXPECT_TRUE(first.isEqual(SoapObject::box(same)));
    EXPECT_EQ(first.hash(), same->hash());
    EXPECT_FALSE(first.isEqual(SoapObject::box(other)));
    EXPECT_NE(first.hash(), other->hash());

    auto second = OVWSMediaItem2Ptr::create();
    second->setName(u"Song"_s);
    EXPECT_FALSE(first.isEqual(SoapObject::box(second)));
    EXPECT_FALSE(second->isEqual(SoapObject::box(same)));
    EXPECT_FALSE(first.isEqual(QVariant(first.serialize())));
    EXPECT_FALSE(first.isEqual(QVariant()));
}

TEST_F(Records, ApplicationInfoWritesIPodDevicesDockedLast)
{
    OVWSApplicationInfo info;
    info.setWolMacAddress(u"00:11:22:33:44:55"_s);
    info.setIPodDevicesDocked(true);
    EXPECT_TRUE(info.iPodDevicesDocked());
    EXPECT_TRUE(info.serialize().endsWith(
        u"<WolMacAddress>00:11:22:33:44:55</WolMacAddress><iPodDevicesDocked>true</iPodDevicesDocked></ApplicationInfo>"));
}

} // namespace

#include "soap/Soap.h"
#include "soap/SoapArray.h"
#include "soap/SoapDecimal.h"
#include "soap/SoapLiteral.h"
#include "soap/SoapNil.h"
#include "soap/SoapParameter.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

const QString serviceNamespace = QStringLiteral("http://orvana.example/WebService/2009/07");

QString envelope(const QString &headerAndBody)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
                          "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                          "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                          "xmlns=\"http://orvana.example/WebService/2009/07\">") +
           headerAndBody + QStringLiteral("</soap:Envelope>");
}

// A record with one string and one integer field, written the way the
// generated record types write themselves.
class TestZone : public SoapObject {
public:
    QString Name;
    qint32 ZoneID = 0;

    QString className() const override { return QStringLiteral("OVWSTestZone"); }
    QString serialize() const override { return serialize(QStringLiteral("TestZone")); }
    QString serialize(const QString &name) const override
    {
        return u'<' + name + serializeAttributes() + u'>' + serializeElements() + QStringLiteral("</") + name + u'>';
    }
    QString serializeElements() const override
    {
        QString text = SoapObject::serializeElements();
        if (!Name.isNull())
            text += QStringLiteral("<Name>") + Soap::escapeFieldText(Name) + QStringLiteral("</Name>");
        text += QStringLiteral("<ZoneID>%1</ZoneID>").arg(ZoneID);
        return text;
    }
};

TEST(SoapEnvelope, EmptyParameterListWritesStartAndEndTag)
{
    const QString text = Soap::createEnvelope(QStringLiteral("GetSystemInfo"), serviceNamespace, SoapParameterList());
    EXPECT_EQ(text, envelope(QStringLiteral("<soap:Body><GetSystemInfo></GetSystemInfo></soap:Body>")));
    EXPECT_FALSE(text.contains(u'\n'));
}

TEST(SoapEnvelope, RefreshOperationIsByteForByte)
{
    const SoapParameterList parameters{SoapParameter(QVariant(qint32(16384)), QStringLiteral("MediaType"))};
    EXPECT_EQ(Soap::createEnvelope(QStringLiteral("RefreshMediaCollectionByMediaType"), serviceNamespace, parameters),
              envelope(QStringLiteral("<soap:Body><RefreshMediaCollectionByMediaType><MediaType>16384</MediaType>"
                                      "</RefreshMediaCollectionByMediaType></soap:Body>")));
}

TEST(SoapEnvelope, PresentButEmptyHeadersWriteNoHeaderBlock)
{
    EXPECT_FALSE(Soap::createEnvelope(QStringLiteral("Op"), serviceNamespace, QStringLiteral(""), QVariantMap())
                     .contains(QStringLiteral("soap:Header")));
}

TEST(SoapEnvelope, HeadersOfEveryKind)
{
    QVariantMap session;
    session.insert(QStringLiteral("@mustUnderstand"), QStringLiteral("1&<"));
    session.insert(QStringLiteral("Id"), QStringLiteral("a&b"));
    QVariantMap headers;
    headers.insert(QStringLiteral("A"), QVariant::fromValue(SoapLiteral(QStringLiteral("<Raw x=\"&\"/>"))));
    headers.insert(QStringLiteral("B"), QVariant::fromValue(SoapNil()));
    headers.insert(QStringLiteral("C"), session);
    headers.insert(QStringLiteral("D"), QVariant(qint32(7)));
    const QString text = Soap::createEnvelope(QStringLiteral("Op"), serviceNamespace, QStringLiteral(""), headers);
    EXPECT_EQ(text, envelope(QStringLiteral("<soap:Header><Raw x=\"&\"/><B xsi:nil=\"true\"/>"
                                            "<C mustUnderstand=\"1&<\"><Id>a&amp;b</Id></C><D>7</D></soap:Header>"
                                            "<soap:Body><Op></Op></soap:Body>")));
}

TEST(SoapEnvelope, DictionaryBodyWritesNilAndValues)
{
    QVariantMap containing;
    containing.insert(QStringLiteral("Mode"), QVariant::fromValue(SoapNil()));
    containing.insert(QStringLiteral("Power"), QVariant(true));
    EXPECT_EQ(Soap::createEnvelope(QStringLiteral("Op"), serviceNamespace, containing),
              envelope(QStringLiteral("<soap:Body><Op><Mode xsi:nil=\"true\"/><Power>1</Power></Op></soap:Body>")));
}

TEST(SoapEnvelope, RecordBodyNestsOperationElementAndRecord)
{
    QSharedPointer<TestZone> zone(new TestZone());
    zone->ZoneID = 3;
    EXPECT_EQ(Soap::createEnvelope(QStringLiteral("Item"), QStringLiteral("AddZone"), serviceNamespace, zone),
              envelope(QStringLiteral("<soap:Body><AddZone><Item><TestZone><ZoneID>3</ZoneID></TestZone></Item>"
                                      "</AddZone></soap:Body>")));
}

// Escaping happens once, where a text is written.
TEST(SoapEscaping, PlainStringsEscapeAmpersandAndAngleBrackets)
{
    EXPECT_EQ(SoapParameter(QStringLiteral("A&B"), QStringLiteral("S")).xml(), u"<S>A&amp;B</S>");
    EXPECT_EQ(SoapParameter(QStringLiteral("a<b>c"), QStringLiteral("S")).xml(), u"<S>a&lt;b&gt;c</S>");
    EXPECT_EQ(SoapParameter(QStringLiteral("say \"hi\""), QStringLiteral("S")).xml(), u"<S>say \"hi\"</S>");
}

TEST(SoapEscaping, RecordFieldsAreNotEscapedTwice)
{
    QSharedPointer<TestZone> zone(new TestZone());
    zone->Name = QStringLiteral("&\"<");
    const SoapParameterList parameters{SoapParameter(SoapObject::box(zone), QStringLiteral("Info"))};
    const QString text = Soap::createEnvelope(QStringLiteral("Save"), serviceNamespace, parameters);
    EXPECT_TRUE(text.contains(QStringLiteral("<Info><Name>&amp;&quot;&lt;</Name><ZoneID>0</ZoneID></Info>")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("&amp;amp;")));
}

TEST(SoapEscaping, EnvelopeOfEscapedValuesParsesBackToTheOriginalText)
{
    const SoapParameterList parameters{SoapParameter(QStringLiteral("R&B <live> & \"more\""), QStringLiteral("Name"))};
    const QString text = Soap::createEnvelope(QStringLiteral("SetZoneName"), serviceNamespace, parameters);
    const CXMLDocumentPtr document = CXMLDocument::initWithXMLString(text, 0, nullptr);
    ASSERT_TRUE(document);
    const CXMLNodePtr name = Soap::getNode(document->rootElement(), QStringLiteral("Name"));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->stringValue(), u"R&B <live> & \"more\"");
}

TEST(SoapValueText, NumbersBooleansAndDates)
{
    EXPECT_EQ(Soap::serialize(QVariant(true)), u"1");
    EXPECT_EQ(Soap::serialize(QVariant(false)), u"0");
    EXPECT_EQ(Soap::serialize(QVariant(qint32(-42))), u"-42");
    EXPECT_EQ(Soap::serialize(QVariant(qint64(9007199254740993LL))), u"9007199254740993");
    EXPECT_EQ(Soap::serialize(QVariant(quint64(18446744073709551615ULL))), u"18446744073709551615");
    EXPECT_EQ(Soap::serialize(QVariant(0.1)), u"0.1");
    EXPECT_EQ(Soap::serialize(QVariant(0.1f)), u"0.1");
    EXPECT_EQ(Soap::serialize(QVariant(16384.0)), u"16384");
    EXPECT_EQ(Soap::serialize(QVariant::fromValue(SoapDecimal::fromString(QStringLiteral("12.50")))), u"12.5");
    EXPECT_EQ(Soap::serialize(QVariant(QByteArray("abc"))), u"YWJj");
    const QDateTime local(QDate(2009, 7, 1), QTime(8, 5, 9, 250), Qt::LocalTime);
    EXPECT_EQ(Soap::serialize(QVariant(local)), u"2009-07-01T08:05:09.250");
}

TEST(SoapValueText, NamedElementOfRecordUsesTheRecordsOwnElement)
{
    QSharedPointer<SoapObject> empty(new SoapObject());
    EXPECT_EQ(Soap::serialize(SoapObject::box(empty), QStringLiteral("X")), u"");
    QSharedPointer<TestZone> zone(new TestZone());
    EXPECT_EQ(Soap::serialize(SoapObject::box(zone), QStringLiteral("Item")), u"<Item><ZoneID>0</ZoneID></Item>");
}

TEST(SoapParameterValue, NullFollowsEveryAssignment)
{
    SoapParameter mode(QVariant(), QStringLiteral("Mode"));
    EXPECT_TRUE(mode.null());
    EXPECT_EQ(mode.xml(), u"<Mode xsi:nil=\"true\"/>");
    mode.setValue(QVariant(qint32(2)));
    EXPECT_FALSE(mode.null());
    EXPECT_EQ(mode.xml(), u"<Mode>2</Mode>");
    mode.setValue(QVariant(QString()));
    EXPECT_TRUE(mode.null());
    mode.setValue(QVariant(QStringLiteral("")));
    EXPECT_FALSE(mode.null());
    EXPECT_EQ(mode.xml(), u"<Mode></Mode>");
    mode.setValue(SoapObject::box(SoapObjectPtr()));
    EXPECT_TRUE(mode.null());
}

TEST(SoapParameterValue, ListInstancesWriteNothing)
{
    SoapArrayPtr list = SoapArray::arrayWithObjects({QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_EQ(SoapParameter(SoapObject::box(list), QStringLiteral("Items")).xml(), u"");
}

TEST(SoapHelpers, Md5IsThirtyTwoUpperCaseDigits)
{
    EXPECT_EQ(Soap::md5(QStringLiteral("")), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Soap::md5(QStringLiteral("abc")), u"900150983CD24FB0D6963F7D28E17F72");
    // Text after a zero character does not count.
    EXPECT_EQ(Soap::md5(QStringLiteral("abc") + QChar(0) + QStringLiteral("zzz")), Soap::md5(QStringLiteral("abc")));
    const QString digest = Soap::md5(QStringLiteral("\u00e9t\u00e9"));
    EXPECT_EQ(digest.size(), 32);
    EXPECT_EQ(digest, digest.toUpper());
}

TEST(SoapHelpers, EqualSerialisationsHashEqually)
{
    TestZone first;
    TestZone second;
    first.ZoneID = second.ZoneID = 4;
    EXPECT_EQ(Soap::generateHash(first), Soap::generateHash(second));
    second.ZoneID = 5;
    EXPECT_NE(Soap::generateHash(first), Soap::generateHash(second));
}

TEST(SoapHelpers, PrefixAndKinds)
{
    EXPECT_EQ(Soap::prefix(), u"OVWS");
    EXPECT_TRUE(Soap::isArray(QVariantList{}));
    EXPECT_FALSE(Soap::isArray(QVariant(QStringLiteral("x"))));
    EXPECT_TRUE(Soap::isObject(SoapObject::box(SoapArray::array())));
    EXPECT_FALSE(Soap::isObject(QVariant(qint32(1))));
}

TEST(SoapArrayValue, CopiesArePlainListsAndConstructorsMakePlainArrays)
{
    SoapArrayPtr list = SoapArray::arrayWithObject(QVariant(qint32(1)));
    list->addObject(QStringLiteral("two"));
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(list->objectAtIndex(1).toString(), u"two");
    const QVariantList copy = list->copy();
    list->removeLastObject();
    EXPECT_EQ(copy.size(), 2);
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->className(), u"SoapArray");
    qsizetype seen = 0;
    for (const QVariant &item : *list) {
        EXPECT_EQ(item.toInt(), 1);
        ++seen;
    }
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(list->object().toList(), list->items());
}

} // namespace

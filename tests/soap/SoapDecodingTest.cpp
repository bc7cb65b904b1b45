#include "soap/Soap.h"
#include "soap/SoapArray.h"
#include "soap/SoapDecimal.h"
#include "soap/SoapFault.h"
#include "soap/SoapMutableList.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

CXMLDocumentPtr parse(const QString &xml)
{
    ErrorRecord error;
    CXMLDocumentPtr document = CXMLDocument::initWithXMLString(xml, 0, &error);
    EXPECT_TRUE(document) << error.localizedDescription().toStdString();
    return document;
}

// deserialize of the root element of xml; the document stays alive for the call.
QVariant decode(const QString &xml)
{
    const CXMLDocumentPtr document = parse(xml);
    return document ? Soap::deserialize(document->rootElement()) : QVariant();
}

QString typed(const QString &type, const QString &text)
{
    return QStringLiteral("<v xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xsi:type=\"") +
           type + QStringLiteral("\">") + text + QStringLiteral("</v>");
}

TEST(SoapDeserialize, TypedNumbers)
{
    const QVariant answer = decode(typed(QStringLiteral("xsd:int"), QStringLiteral("42")));
    EXPECT_EQ(answer.metaType().id(), QMetaType::Int);
    EXPECT_EQ(answer.toInt(), 42);
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:int"), QStringLiteral("  -17abc"))).toInt(), -17);
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:int"), QStringLiteral("99999999999"))).toInt(), 2147483647);
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:int"), QStringLiteral("-99999999999"))).toInt(), -2147483647 - 1);
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:int"), QStringLiteral("x"))).toInt(), 0);
    const QVariant wide = decode(typed(QStringLiteral("xsd:long"), QStringLiteral("9007199254740993")));
    EXPECT_EQ(wide.metaType().id(), QMetaType::LongLong);
    EXPECT_EQ(wide.toLongLong(), 9007199254740993LL);
    // 70000 does not fit 16 bits: truncated, as the int value cut to 16 bits.
    const QVariant small = decode(typed(QStringLiteral("xsd:unsignedShort"), QStringLiteral("70000")));
    EXPECT_EQ(small.metaType().id(), QMetaType::Short);
    EXPECT_EQ(small.value<qint16>(), qint16(70000 - 65536));
    EXPECT_FLOAT_EQ(decode(typed(QStringLiteral("xsd:float"), QStringLiteral("1.5"))).toFloat(), 1.5f);
    EXPECT_DOUBLE_EQ(decode(typed(QStringLiteral("xsd:double"), QStringLiteral("+2.25e2 m"))).toDouble(), 225.0);
    const QVariant decimal = decode(typed(QStringLiteral("xsd:decimal"), QStringLiteral("0.1")));
    EXPECT_EQ(decimal.value<SoapDecimal>().toString(), u"0.1");
}

TEST(SoapDeserialize, TypedBooleans)
{
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:boolean"), QStringLiteral("true"))), QVariant(true));
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:boolean"), QStringLiteral("false"))), QVariant(false));
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:boolean"), QStringLiteral("1"))), QVariant(true));
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:boolean"), QStringLiteral("0"))), QVariant(false));
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:boolean"), QStringLiteral(" -007"))), QVariant(true));
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:boolean"), QStringLiteral("Yes"))), QVariant(true));
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:boolean"), QStringLiteral(""))), QVariant(false));
}

TEST(SoapDeserialize, TypedDatesDataAndStrings)
{
    const QVariant date = decode(typed(QStringLiteral("xsd:dateTime"), QStringLiteral("2009-07-01T12:30:00")));
    EXPECT_EQ(date.toDateTime(), QDateTime(QDate(2009, 7, 1), QTime(12, 30), Qt::LocalTime));
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:base64Binary"), QStringLiteral("YWJj"))).toByteArray(), "abc");
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:string"), QStringLiteral("12"))).metaType().id(), QMetaType::QString);
    // A type without a prefix is compared as written (case-sensitive).
    EXPECT_EQ(decode(typed(QStringLiteral("int"), QStringLiteral("12"))).metaType().id(), QMetaType::Int);
    EXPECT_EQ(decode(typed(QStringLiteral("Int"), QStringLiteral("12"))).metaType().id(), QMetaType::QString);
    // With a prefix the type is lower-cased.
    EXPECT_EQ(decode(typed(QStringLiteral("xsd:INT"), QStringLiteral("12"))).metaType().id(), QMetaType::Int);
}

TEST(SoapDeserialize, UntypedElements)
{
    EXPECT_EQ(decode(QStringLiteral("<v>text</v>")), QVariant(QStringLiteral("text")));
    const QVariant empty = decode(QStringLiteral("<v/>"));
    EXPECT_EQ(empty.metaType().id(), QMetaType::QString);
    EXPECT_TRUE(empty.toString().isEmpty());
    const QVariantMap map = decode(QStringLiteral("<v><a>1</a><b><c>x</c></b><a>2</a></v>")).toMap();
    EXPECT_EQ(map.value(QStringLiteral("a")).toString(), u"2"); // the later one replaces the earlier
    EXPECT_EQ(map.value(QStringLiteral("b")).toMap().value(QStringLiteral("c")).toString(), u"x");
    EXPECT_EQ(map.size(), 2);
    EXPECT_FALSE(Soap::deserialize(nullptr).isValid());
}

TEST(SoapConvert, TypeTokens)
{
    EXPECT_EQ(Soap::convert(QStringLiteral("TRUE"), QStringLiteral("bool")), QVariant(true));
    EXPECT_EQ(Soap::convert(QStringLiteral("1"), QStringLiteral("bool")), QVariant(false));
    EXPECT_EQ(Soap::convert(QStringLiteral("yes"), QStringLiteral("BOOL")), QVariant(false));
    EXPECT_EQ(Soap::convert(QStringLiteral("12x"), QStringLiteral("int")), QVariant(qint32(12)));
    EXPECT_EQ(Soap::convert(QStringLiteral("-5000000000"), QStringLiteral("long")), QVariant(qint64(-5000000000LL)));
    EXPECT_EQ(Soap::convert(QStringLiteral("2.5"), QStringLiteral("double")), QVariant(2.5));
    EXPECT_EQ(Soap::convert(QStringLiteral("2.5"), QStringLiteral("float")), QVariant(2.5f));
    EXPECT_EQ(Soap::convert(QStringLiteral("123456789.123456789"), QStringLiteral("NSDecimalNumber*"))
                  .value<SoapDecimal>()
                  .toString(),
              u"123456789.123456789");
    EXPECT_EQ(Soap::convert(QStringLiteral("YWJj"), QStringLiteral("NSData*")), QVariant(QByteArray("abc")));
    // Without the star the token is unknown: the text comes back unchanged.
    EXPECT_EQ(Soap::convert(QStringLiteral("YWJj"), QStringLiteral("NSData")), QVariant(QStringLiteral("YWJj")));
    EXPECT_EQ(Soap::convert(QStringLiteral("abc"), QStringLiteral("NSString")), QVariant(QStringLiteral("abc")));
    EXPECT_EQ(Soap::convert(QStringLiteral("2009-07-01"), QStringLiteral("nsdate*")).toDateTime(),
              QDateTime(QDate(2009, 7, 1), QTime(0, 0), Qt::LocalTime));
    EXPECT_TRUE(Soap::convert(QString(), QStringLiteral("int")).toString().isNull());
    EXPECT_EQ(Soap::convert(QStringLiteral("7"), QString()), QVariant(QStringLiteral("7")));
}

TEST(SoapDates, CompletionAndLenientReading)
{
    EXPECT_EQ(Soap::dateFromString(QStringLiteral("2009-07-01")),
              QDateTime(QDate(2009, 7, 1), QTime(0, 0), Qt::LocalTime));
    EXPECT_EQ(Soap::dateFromString(QStringLiteral("2009-07-01T12:30:00")),
              QDateTime(QDate(2009, 7, 1), QTime(12, 30), Qt::LocalTime));
    EXPECT_EQ(Soap::dateFromString(QStringLiteral("2009-07-01T12:30:00.1234567")),
              QDateTime(QDate(2009, 7, 1), QTime(12, 30, 0, 123), Qt::LocalTime));
    EXPECT_EQ(Soap::dateFromString(QStringLiteral("2009-7-1T8:5:9.25")),
              QDateTime(QDate(2009, 7, 1), QTime(8, 5, 9, 250), Qt::LocalTime));
    // Out-of-range fields roll over.
    EXPECT_EQ(Soap::dateFromString(QStringLiteral("2009-13-01")),
              QDateTime(QDate(2010, 1, 1), QTime(0, 0), Qt::LocalTime));
    EXPECT_EQ(Soap::dateFromString(QStringLiteral("2009-02-29T24:00:00")),
              QDateTime(QDate(2009, 3, 2), QTime(0, 0), Qt::LocalTime));
    // A zone suffix gains ".000" after it and no longer fits.
    EXPECT_FALSE(Soap::dateFromString(QStringLiteral("2009-07-01T12:30:00Z")).isValid());
    EXPECT_FALSE(Soap::dateFromString(QStringLiteral("")).isValid());
    EXPECT_FALSE(Soap::dateFromString(QStringLiteral("July 1st")).isValid());
    EXPECT_FALSE(Soap::dateFromString(QString()).isValid());
}

TEST(SoapDates, WrittenAsLocalTimeWithMilliseconds)
{
    const QDateTime local(QDate(2009, 7, 1), QTime(8, 5, 9, 250), Qt::LocalTime);
    EXPECT_EQ(Soap::getDateString(local), u"2009-07-01T08:05:09.250");
    EXPECT_EQ(Soap::getDateString(local.toUTC()), u"2009-07-01T08:05:09.250");
    EXPECT_EQ(Soap::dateFromString(Soap::getDateString(local)), local);
    EXPECT_TRUE(Soap::getDateString(QDateTime()).isNull());
}

TEST(SoapNodeLookup, DirectChildBeatsAnEarlierDeeperNode)
{
    const CXMLDocumentPtr document =
        parse(QStringLiteral("<r><a><X>deep</X></a><X>direct</X></r>"));
    EXPECT_EQ(Soap::getNodeValue(document->rootElement(), QStringLiteral("X")), u"direct");
    const CXMLDocumentPtr nested = parse(QStringLiteral("<r><a><b><X>first</X></b></a><c><X>second</X></c></r>"));
    EXPECT_EQ(Soap::getNodeValue(nested->rootElement(), QStringLiteral("X")), u"first");
}

TEST(SoapNodeLookup, NamesCarryTheirPrefixAndAttributesWin)
{
    const CXMLDocumentPtr document =
        parse(QStringLiteral("<r xmlns:p=\"urn:p\" Name=\"attr\"><p:Body>x</p:Body><Name>child</Name></r>"));
    const CXMLElementPtr root = document->rootElement();
    EXPECT_FALSE(Soap::getNode(root, QStringLiteral("Body")));
    EXPECT_TRUE(Soap::getNode(root, QStringLiteral("p:Body")));
    EXPECT_TRUE(Soap::getNode(root, QStringLiteral("Body"), QStringLiteral("urn:p")));
    EXPECT_FALSE(Soap::getNode(root, QStringLiteral("Body"), QStringLiteral("urn:other")));
    EXPECT_EQ(Soap::getNodeValue(root, QStringLiteral("Name")), u"attr");
    EXPECT_TRUE(Soap::getNodeValue(root, QStringLiteral("Missing")).isNull());
    EXPECT_TRUE(Soap::getNodeValue(nullptr, QStringLiteral("Name")).isNull());
    EXPECT_TRUE(Soap::getNodeValue(root, QString()).isNull());
}

TEST(SoapNodeLookup, XPathHelpers)
{
    const CXMLDocumentPtr document = parse(QStringLiteral("<r><i>1</i><i>2</i></r>"));
    const std::optional<CXMLNodeList> items = Soap::findNodes(document->rootElement(), QStringLiteral("i"));
    ASSERT_TRUE(items);
    EXPECT_EQ(items->size(), 2);
    EXPECT_EQ(Soap::findNode(document->rootElement(), QStringLiteral("i"))->stringValue(), u"1");
    EXPECT_FALSE(Soap::findNodes(document->rootElement(), QStringLiteral("///")));
    EXPECT_FALSE(Soap::findNode(document->rootElement(), QStringLiteral("nothing")));
}

TEST(SoapGenericTree, RepeatedNamesGatherIntoLists)
{
    const QVariantMap tree =
        Soap::objectFromXMLString(QStringLiteral("<r id=\"7\"><i>1</i><i>2</i><i>3</i><n>x</n></r>")).toMap();
    EXPECT_EQ(tree.value(QStringLiteral("i")).toList(),
              (QVariantList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    EXPECT_EQ(tree.value(QStringLiteral("n")).toString(), u"x");
    EXPECT_EQ(tree.value(QStringLiteral("id")).toString(), u"7");
    EXPECT_EQ(Soap::objectFromXMLString(QStringLiteral("<r><only>v</only></r>")), QVariant(QStringLiteral("v")));
    EXPECT_FALSE(Soap::objectFromXMLString(QStringLiteral("<broken")).isValid());
}

TEST(SoapFaults, FieldsAndDescription)
{
    const CXMLDocumentPtr document = parse(QStringLiteral(
        "<Envelope><Body><Fault><faultcode>soap:Client</faultcode><faultstring>Bad</faultstring>"
        "<faultactor>me</faultactor></Fault></Body></Envelope>"));
    const SoapFault fault = SoapFault::faultWithXMLDocument(document);
    EXPECT_TRUE(fault.hasFault());
    EXPECT_EQ(fault.faultCode(), u"soap:Client");
    EXPECT_EQ(fault.faultActor(), u"me");
    EXPECT_TRUE(fault.detail().isNull());
    EXPECT_EQ(fault.description(), u"soap:Client Bad\n(null)");
    EXPECT_TRUE(SoapFault().description().isNull());
}

TEST(SoapFaults, PrefixedFaultInTheEnvelopeNamespaceIsFound)
{
    const SoapFault fault = SoapFault::faultWithData(QByteArrayLiteral(
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
        "<faultcode>s:Server</faultcode><faultstring>Refused</faultstring><detail>no</detail>"
        "</s:Fault></s:Body></s:Envelope>"));
    EXPECT_TRUE(fault.hasFault());
    EXPECT_EQ(fault.description(), u"s:Server Refused\nno");
    // The same local name in another namespace is not a SOAP fault.
    EXPECT_FALSE(SoapFault::faultWithData(QByteArrayLiteral("<r xmlns:x=\"urn:x\"><x:Fault/></r>")).hasFault());
}

TEST(SoapFaults, FaultAnywhereBelowTheRootAndBadBytes)
{
    EXPECT_TRUE(SoapFault::faultWithData(QByteArrayLiteral("<r><a><b><Fault/></b></a></r>")).hasFault());
    EXPECT_FALSE(SoapFault::faultWithData(QByteArrayLiteral("<r><NoFault/></r>")).hasFault());
    EXPECT_FALSE(SoapFault::faultWithData(QByteArrayLiteral("not xml at all")).hasFault());
    EXPECT_FALSE(SoapFault::faultWithData(QByteArray()).hasFault());
    EXPECT_FALSE(SoapFault::faultWithXMLElement(nullptr).hasFault());
}

TEST(SoapLists, WhiteSpaceBetweenItemsIsAnItemToo)
{
    const CXMLDocumentPtr document = parse(QStringLiteral("<l><i>1</i>\n  <i>2</i></l>"));
    SoapArrayPtr list = SoapArray::createWithNode(document->rootElement());
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->objectAtIndex(0).toString(), u"1");
    EXPECT_EQ(list->objectAtIndex(1).toString(), u"\n  ");
    EXPECT_EQ(SoapMutableList::createWithNode(document->rootElement()).size(), 3);
    EXPECT_EQ(SoapArray::createWithNode(nullptr)->count(), 0);
}

} // namespace
